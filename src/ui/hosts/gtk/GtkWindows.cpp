// The GTK 4 windows of the desktop host: each dialog model as a modal window
// (its controls laid out in order, labels beside the field they name), the
// message boxes, GTK's file and folder choosers, a text window for the
// certificate viewer and a yes-or-no prompt. The same windows serve as the
// stage of a script: its actions are typed into the entries and clicked on
// the buttons, its paths picked in the choosers, and the widgets' signals
// reach the model as a user's would.
#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/hosts/DesktopWindows.h"

namespace pennaform::ui {
namespace {

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogEnd;
using platform::ModalDialog;
using platform::PlatformDialogs;

// A window taking longer than this to be shown is screenshot as it stands.
constexpr gint64 kLongestWaitForDrawing = 10 * G_USEC_PER_SEC;

// runPending: lets GTK handle everything it has queued (drawing, signals).
void runPending() {
    while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
}

// waitUntilShown: runs the main loop until `window` is mapped and laid out.
void waitUntilShown(GtkWidget* window) {
    gint64 deadline = g_get_monotonic_time() + kLongestWaitForDrawing;
    while (g_get_monotonic_time() < deadline &&
           (!gtk_widget_get_mapped(window) || gtk_widget_get_width(window) == 0)) {
        g_main_context_iteration(nullptr, FALSE);
    }
    runPending();
}

// saveScreenshot: `window` as a PNG named `name` in the folder that
// PENNAFORM_GTK_SCREENSHOTS names; nothing when it names none.
void saveScreenshot(GtkWidget* window, const std::string& name) {
    const char* folder = g_getenv("PENNAFORM_GTK_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') return;
    waitUntilShown(window);
    int width = gtk_widget_get_width(window);
    int height = gtk_widget_get_height(window);
    GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(window));
    if (width <= 0 || height <= 0 || renderer == nullptr) {
        g_warning("%s was not drawn in time: no screenshot", name.c_str());
        return;
    }
    // A window waiting for its layout draws nothing yet: wait for a frame.
    GdkPaintable* paintable = gtk_widget_paintable_new(window);
    GskRenderNode* node = nullptr;
    gint64 deadline = g_get_monotonic_time() + kLongestWaitForDrawing;
    while (node == nullptr && g_get_monotonic_time() < deadline) {
        GtkSnapshot* snapshot = gtk_snapshot_new();
        gdk_paintable_snapshot(paintable, snapshot, width, height);
        node = gtk_snapshot_free_to_node(snapshot);
        if (node == nullptr) {
            g_usleep(G_USEC_PER_SEC / 100);
            runPending();
        }
    }
    g_object_unref(paintable);
    if (node == nullptr) {
        g_warning("%s drew nothing: no screenshot", name.c_str());
        return;
    }
    graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
    GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &bounds);
    gsk_render_node_unref(node);
    std::string path = std::string(folder) + "/" + name + ".png";
    if (!gdk_texture_save_to_png(texture, path.c_str())) g_warning("cannot write %s", path.c_str());
    g_object_unref(texture);
}

// ModalWindow: a top-level window with the owner's lifetime.
struct ModalWindow {
    explicit ModalWindow(const std::string& title) : widget(gtk_window_new()) {
        g_object_ref_sink(widget);
        gtk_window_set_title(GTK_WINDOW(widget), title.c_str());
        gtk_window_set_modal(GTK_WINDOW(widget), TRUE);
        // A title bar of the window's own, drawn with it (and in screenshots).
        gtk_window_set_titlebar(GTK_WINDOW(widget), gtk_header_bar_new());
    }
    ~ModalWindow() {
        gtk_window_destroy(GTK_WINDOW(widget));
        g_object_unref(widget);
    }
    ModalWindow(const ModalWindow&) = delete;
    ModalWindow& operator=(const ModalWindow&) = delete;
    GtkWindow* window() const { return GTK_WINDOW(widget); }

    GtkWidget* widget;
};

GtkWidget* newButton(const std::string& label, int* answer, int value) {
    GtkWidget* button = gtk_button_new_with_label(label.c_str());
    g_object_set_data(G_OBJECT(button), "answer", GINT_TO_POINTER(value));
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* self, gpointer target) {
                         *static_cast<int*>(target) =
                             GPOINTER_TO_INT(g_object_get_data(G_OBJECT(self), "answer"));
                     }),
                     answer);
    return button;
}

// AnswerWindow: a window of text with buttons, each giving its answer.
class AnswerWindow {
public:
    AnswerWindow(const std::string& title, const std::string& text) : window_(title) {
        gtk_window_set_resizable(window_.window(), FALSE);
        box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
        gtk_widget_set_margin_start(box_, 16);
        gtk_widget_set_margin_end(box_, 16);
        gtk_widget_set_margin_top(box_, 16);
        gtk_widget_set_margin_bottom(box_, 16);
        GtkWidget* label = gtk_label_new(text.c_str());
        gtk_label_set_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
        gtk_box_append(GTK_BOX(box_), label);
        buttons_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
        gtk_widget_set_halign(buttons_, GTK_ALIGN_END);
        gtk_box_append(GTK_BOX(box_), buttons_);
        gtk_window_set_child(window_.window(), box_);
        g_signal_connect(window_.widget, "close-request",
                         G_CALLBACK(+[](GtkWindow*, gpointer target) -> gboolean {
                             *static_cast<int*>(target) = 0;
                             return TRUE;
                         }),
                         &answer_);
    }
    void addButton(const std::string& label, int value, bool isDefault) {
        GtkWidget* button = newButton(label, &answer_, value);
        buttonsByAnswer_.emplace_back(value, button);
        gtk_box_append(GTK_BOX(buttons_), button);
        if (isDefault) gtk_window_set_default_widget(window_.window(), button);
    }
    GtkWidget* widget() const { return window_.widget; }
    // ask: the answer of the button pressed, 0 when the window was closed.
    int ask() {
        answer_ = -1;
        gtk_window_present(window_.window());
        while (answer_ < 0) g_main_context_iteration(nullptr, TRUE);
        return answer_;
    }
    // answerWith: shown and screenshot as `name`, then the button of `value`
    // clicked; the answer its signal gave.
    int answerWith(int value, const std::string& name) {
        answer_ = -1;
        gtk_window_present(window_.window());
        saveScreenshot(window_.widget, name);
        for (const auto& [answer, button] : buttonsByAnswer_) {
            if (answer == value) g_signal_emit_by_name(button, "clicked");
        }
        runPending();
        return answer_ < 0 ? 0 : answer_;
    }

private:
    ModalWindow window_;
    GtkWidget* box_;
    GtkWidget* buttons_;
    std::vector<std::pair<int, GtkWidget*>> buttonsByAnswer_;
    int answer_ = -1;
};

// ListRows: the rows of a list view, by their position in the model. The
// list store holds each row's position as a string; the columns show and
// sort by the texts.
struct ListColumnBinding {
    const std::vector<std::vector<std::string>>* rows;
    std::size_t column;
};

std::size_t rowOfItem(gpointer item) {
    return std::size_t(
        g_ascii_strtoull(gtk_string_object_get_string(GTK_STRING_OBJECT(item)), nullptr, 10));
}

const std::string& cellText(const ListColumnBinding& binding, std::size_t row) {
    static const std::string none;
    const auto& rows = *binding.rows;
    return row < rows.size() && binding.column < rows[row].size() ? rows[row][binding.column]
                                                                  : none;
}

// DialogWindow: one dialog model shown as a window; every user action goes to
// the model, and the widgets are then brought to the model's state.
class DialogWindow {
public:
    DialogWindow(ModalDialog& dialog, PlatformDialogs& host, const TextConverter& text)
        : dialog_(dialog), host_(host), text_(text), window_(text.toUtf8(dialog.title())) {
        build();
        g_signal_connect(window_.widget, "close-request",
                         G_CALLBACK(+[](GtkWindow*, gpointer self) -> gboolean {
                             auto* shown = static_cast<DialogWindow*>(self);
                             shown->dialog_.closeWindow();
                             shown->accepted_ = true;
                             return TRUE;
                         }),
                         this);
        refresh();
    }
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    GtkWidget* widget() const { return window_.widget; }
    void present() { gtk_window_present(window_.window()); }

    // The actions of a script, as a user's typing, clicks and selection.
    bool perform(const ScriptAction& action) {
        accepted_ = false;
        if (const auto* set = std::get_if<SetText>(&action)) {
            typeInto(set->id, text_.toUtf8(set->text));
        } else if (const auto* press = std::get_if<PressButton>(&action)) {
            // A click, as the pointer gives it: a disabled button takes none.
            // (Activating it from the keyboard would delay "clicked".)
            GtkWidget* button = widgetOf(press->id, ControlKind::kButton);
            if (button != nullptr && gtk_widget_is_sensitive(button)) {
                g_signal_emit_by_name(button, "clicked");
            }
        } else if (const auto* select = std::get_if<SelectRow>(&action)) {
            selectRow(select->row);
        } else {
            gtk_window_close(window_.window());
        }
        runPending();
        return accepted_;
    }

private:
    struct Shown {
        GtkWidget* widget = nullptr;  // the entry, text view, button, label or list
        GtkSelectionModel* selection = nullptr;
        GtkSortListModel* sorted = nullptr;
        std::unique_ptr<ListColumnBinding[]> columns;
        std::vector<std::vector<std::string>> rows;  // UTF-8
    };
    struct Binding {
        DialogWindow* self;
        std::size_t index;  // in the controls
    };

    void build() {
        GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
        gtk_widget_set_margin_start(content, 14);
        gtk_widget_set_margin_end(content, 14);
        gtk_widget_set_margin_top(content, 14);
        gtk_widget_set_margin_bottom(content, 14);
        GtkWidget* grid = gtk_grid_new();
        gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
        gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
        GtkWidget* endButtons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
        gtk_widget_set_halign(endButtons, GTK_ALIGN_END);
        gtk_box_append(GTK_BOX(content), grid);
        gtk_box_append(GTK_BOX(content), endButtons);
        gtk_window_set_child(window_.window(), content);

        auto controls = dialog_.controls();
        shown_.resize(controls.size());
        bindings_.reserve(controls.size());
        int row = 0;
        bool labelWaits = false;  // a label at column 0 of `row` waits for its field
        for (std::size_t i = 0; i < controls.size(); ++i) {
            const DialogControl& control = controls[i];
            bindings_.push_back(std::make_unique<Binding>(Binding{this, i}));
            Binding* binding = bindings_.back().get();
            GtkWidget* widget = nullptr;
            switch (control.kind) {
                case ControlKind::kLabel:
                case ControlKind::kGroupBox: {
                    widget = gtk_label_new(nullptr);
                    gtk_label_set_xalign(GTK_LABEL(widget), 0);
                    if (labelWaits) ++row;
                    if (control.kind == ControlKind::kGroupBox) {
                        gtk_widget_add_css_class(widget, "heading");
                        gtk_grid_attach(GTK_GRID(grid), widget, 0, row++, 3, 1);
                        labelWaits = false;
                    } else {
                        gtk_grid_attach(GTK_GRID(grid), widget, 0, row, 1, 1);
                        labelWaits = true;
                    }
                    break;
                }
                case ControlKind::kEdit:
                    widget = newEdit(control, binding);
                    gtk_grid_attach(GTK_GRID(grid), editFrame(control, widget), labelWaits ? 1 : 0,
                                    row, labelWaits ? 1 : 2, 1);
                    gtk_widget_set_hexpand(widget, TRUE);
                    ++row;
                    labelWaits = false;
                    break;
                case ControlKind::kButton: {
                    widget = gtk_button_new_with_label("");
                    g_signal_connect(widget, "clicked", G_CALLBACK(&DialogWindow::onClicked),
                                     binding);
                    // A button of a field ("瀏覽") stands beside it, the one
                    // before it or the one that follows; the rest at the end.
                    bool ofField =
                        control.id != platform::kIdOk && control.id != platform::kIdCancel;
                    if (ofField && i > 0 && controls[i - 1].kind == ControlKind::kEdit) {
                        gtk_grid_attach(GTK_GRID(grid), widget, 2, row - 1, 1, 1);
                    } else if (ofField && i + 1 < controls.size() &&
                               controls[i + 1].kind == ControlKind::kEdit) {
                        gtk_grid_attach(GTK_GRID(grid), widget, 2, row, 1, 1);
                    } else {
                        gtk_box_append(GTK_BOX(endButtons), widget);
                    }
                    if (control.isDefault) gtk_window_set_default_widget(window_.window(), widget);
                    break;
                }
                case ControlKind::kListView:
                    widget = newList(control, shown_[i], binding);
                    if (labelWaits) ++row;
                    gtk_grid_attach(GTK_GRID(grid), listFrame(widget, control), 0, row++, 3, 1);
                    labelWaits = false;
                    break;
            }
            shown_[i].widget = widget;
        }
    }

    GtkWidget* newEdit(const DialogControl& control, Binding* binding) {
        if (control.multiline) {
            GtkWidget* view = gtk_text_view_new();
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_CHAR);
            g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), "changed",
                             G_CALLBACK(&DialogWindow::onBufferChanged), binding);
            return view;
        }
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_visibility(GTK_ENTRY(entry), !control.secret);
        gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
        gtk_editable_set_width_chars(GTK_EDITABLE(entry), 32);
        g_signal_connect(entry, "changed", G_CALLBACK(&DialogWindow::onEntryChanged), binding);
        return entry;
    }

    static GtkWidget* editFrame(const DialogControl& control, GtkWidget* edit) {
        if (!control.multiline) return edit;
        GtkWidget* scrolled = gtk_scrolled_window_new();
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), edit);
        gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled), 64);
        gtk_widget_add_css_class(scrolled, "frame");
        return scrolled;
    }

    static GtkWidget* listFrame(GtkWidget* list, const DialogControl& control) {
        GtkWidget* scrolled = gtk_scrolled_window_new();
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), list);
        int width = 0;
        for (const platform::ListColumn& column : control.columns) width += column.width;
        gtk_scrolled_window_set_min_content_width(GTK_SCROLLED_WINDOW(scrolled), width);
        gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled), 140);
        gtk_widget_set_hexpand(scrolled, TRUE);
        gtk_widget_add_css_class(scrolled, "frame");
        return scrolled;
    }

    GtkWidget* newList(const DialogControl& control, Shown& shown, Binding* binding) {
        for (const auto& row : control.rows) {
            std::vector<std::string> texts;
            for (const auto& text : row) texts.push_back(text_.toUtf8(text));
            shown.rows.push_back(std::move(texts));
        }
        GtkStringList* positions = gtk_string_list_new(nullptr);
        for (std::size_t row = 0; row < shown.rows.size(); ++row) {
            gtk_string_list_append(positions, std::to_string(row).c_str());
        }
        shown.sorted = gtk_sort_list_model_new(G_LIST_MODEL(positions), nullptr);
        GtkSingleSelection* selection = gtk_single_selection_new(G_LIST_MODEL(shown.sorted));
        g_object_ref(shown.sorted);  // the selection took the first reference
        gtk_single_selection_set_autoselect(selection, FALSE);
        gtk_single_selection_set_can_unselect(selection, TRUE);
        shown.selection = GTK_SELECTION_MODEL(selection);
        GtkWidget* view = gtk_column_view_new(shown.selection);  // takes the selection
        g_object_ref(shown.selection);
        shown.columns = std::make_unique<ListColumnBinding[]>(control.columns.size());
        for (std::size_t column = 0; column < control.columns.size(); ++column) {
            shown.columns[column] = {&shown.rows, column};
            ListColumnBinding* cell = &shown.columns[column];
            GtkListItemFactory* factory = gtk_signal_list_item_factory_new();
            g_signal_connect(factory, "setup",
                             G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item) {
                                 GtkWidget* label = gtk_label_new(nullptr);
                                 gtk_label_set_xalign(GTK_LABEL(label), 0);
                                 gtk_list_item_set_child(item, label);
                             }),
                             nullptr);
            g_signal_connect(factory, "bind",
                             G_CALLBACK(+[](GtkListItemFactory*, GtkListItem* item, gpointer data) {
                                 const auto* binding = static_cast<ListColumnBinding*>(data);
                                 std::size_t row = rowOfItem(gtk_list_item_get_item(item));
                                 gtk_label_set_text(GTK_LABEL(gtk_list_item_get_child(item)),
                                                    cellText(*binding, row).c_str());
                             }),
                             cell);
            GtkColumnViewColumn* shownColumn = gtk_column_view_column_new(
                text_.toUtf8(control.columns[column].heading).c_str(), factory);
            gtk_column_view_column_set_resizable(shownColumn, TRUE);
            if (control.columns[column].width > 0) {
                gtk_column_view_column_set_fixed_width(shownColumn, control.columns[column].width);
            }
            GtkSorter* sorter = GTK_SORTER(gtk_custom_sorter_new(
                +[](gconstpointer a, gconstpointer b, gpointer data) -> int {
                    const auto* binding = static_cast<ListColumnBinding*>(data);
                    return g_utf8_collate(
                        cellText(*binding, rowOfItem(const_cast<gpointer>(a))).c_str(),
                        cellText(*binding, rowOfItem(const_cast<gpointer>(b))).c_str());
                },
                cell, nullptr));
            gtk_column_view_column_set_sorter(shownColumn, sorter);
            g_object_unref(sorter);
            gtk_column_view_append_column(GTK_COLUMN_VIEW(view), shownColumn);
            g_object_unref(shownColumn);
        }
        gtk_sort_list_model_set_sorter(shown.sorted,
                                       gtk_column_view_get_sorter(GTK_COLUMN_VIEW(view)));
        g_signal_connect(shown.selection, "notify::selected",
                         G_CALLBACK(&DialogWindow::onSelectionChanged), binding);
        return view;
    }

    // refresh: every widget to the model's state, without the changes
    // reaching the model again.
    void refresh() {
        refreshing_ = true;
        auto controls = dialog_.controls();
        for (std::size_t i = 0; i < controls.size() && i < shown_.size(); ++i) {
            const DialogControl& control = controls[i];
            Shown& shown = shown_[i];
            std::string text = text_.toUtf8(control.text);
            switch (control.kind) {
                case ControlKind::kLabel:
                case ControlKind::kGroupBox:
                    gtk_label_set_text(GTK_LABEL(shown.widget), text.c_str());
                    break;
                case ControlKind::kButton:
                    gtk_button_set_label(GTK_BUTTON(shown.widget), text.c_str());
                    break;
                case ControlKind::kEdit:
                    if (editText(shown.widget) != text) setEditText(shown.widget, text);
                    setEditable(shown.widget, !control.readOnly);
                    break;
                case ControlKind::kListView:
                    showSelection(shown, control.selectedRow);
                    break;
            }
            gtk_widget_set_sensitive(shown.widget, control.enabled);
        }
        refreshing_ = false;
    }

    static std::string editText(GtkWidget* edit) {
        if (GTK_IS_TEXT_VIEW(edit)) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(edit));
            GtkTextIter start;
            GtkTextIter end;
            gtk_text_buffer_get_bounds(buffer, &start, &end);
            char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
            std::string copy(text);
            g_free(text);
            return copy;
        }
        return gtk_editable_get_text(GTK_EDITABLE(edit));
    }
    static void setEditText(GtkWidget* edit, const std::string& text) {
        if (GTK_IS_TEXT_VIEW(edit)) {
            gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(edit)), text.c_str(),
                                     int(text.size()));
        } else {
            gtk_editable_set_text(GTK_EDITABLE(edit), text.c_str());
        }
    }
    static void setEditable(GtkWidget* edit, bool editable) {
        if (GTK_IS_TEXT_VIEW(edit)) {
            gtk_text_view_set_editable(GTK_TEXT_VIEW(edit), editable);
        } else {
            gtk_editable_set_editable(GTK_EDITABLE(edit), editable);
        }
    }
    static bool isEditable(GtkWidget* edit) {
        return GTK_IS_TEXT_VIEW(edit) ? gtk_text_view_get_editable(GTK_TEXT_VIEW(edit))
                                      : gtk_editable_get_editable(GTK_EDITABLE(edit));
    }

    void showSelection(Shown& shown, std::optional<std::size_t> row) {
        guint position = GTK_INVALID_LIST_POSITION;
        if (row) position = positionOfRow(shown, *row);
        gtk_single_selection_set_selected(GTK_SINGLE_SELECTION(shown.selection), position);
    }

    static guint positionOfRow(const Shown& shown, std::size_t row) {
        GListModel* list = G_LIST_MODEL(shown.sorted);
        for (guint position = 0; position < g_list_model_get_n_items(list); ++position) {
            gpointer item = g_list_model_get_item(list, position);
            bool found = rowOfItem(item) == row;
            g_object_unref(item);
            if (found) return position;
        }
        return GTK_INVALID_LIST_POSITION;
    }

    GtkWidget* widgetOf(int id, ControlKind kind) const {
        auto controls = dialog_.controls();
        for (std::size_t i = 0; i < controls.size() && i < shown_.size(); ++i) {
            if (controls[i].id == id && controls[i].kind == kind) return shown_[i].widget;
        }
        return nullptr;
    }

    // typeInto: replaces the text of the edit `id` as typing would; an edit
    // that is disabled or read-only takes nothing.
    void typeInto(int id, const std::string& utf8) {
        GtkWidget* edit = widgetOf(id, ControlKind::kEdit);
        if (edit == nullptr || !gtk_widget_is_sensitive(edit) || !isEditable(edit)) return;
        setEditText(edit, utf8);
    }

    void selectRow(std::optional<std::size_t> row) {
        for (std::size_t i = 0; i < shown_.size(); ++i) {
            Shown& shown = shown_[i];
            if (shown.selection == nullptr) continue;
            if (!gtk_widget_is_sensitive(shown.widget)) return;
            guint position = row ? positionOfRow(shown, *row) : GTK_INVALID_LIST_POSITION;
            if (row && position == GTK_INVALID_LIST_POSITION) return;
            guint before = gtk_single_selection_get_selected(GTK_SINGLE_SELECTION(shown.selection));
            gtk_single_selection_set_selected(GTK_SINGLE_SELECTION(shown.selection), position);
            // Selecting the row already selected changes nothing in the widget.
            if (before == position) onSelectionChanged(nullptr, nullptr, bindings_[i].get());
            return;
        }
    }

    void typed(std::size_t index, const std::string& utf8) {
        if (refreshing_) return;
        accepted_ = dialog_.typeText(dialog_.controls()[index].id, text_.fromUtf8(utf8));
        refresh();
    }

    static void onEntryChanged(GtkEditable* entry, gpointer data) {
        auto* binding = static_cast<Binding*>(data);
        binding->self->typed(binding->index, gtk_editable_get_text(entry));
    }
    static void onBufferChanged(GtkTextBuffer*, gpointer data) {
        auto* binding = static_cast<Binding*>(data);
        DialogWindow* self = binding->self;
        self->typed(binding->index, editText(self->shown_[binding->index].widget));
    }
    static void onClicked(GtkButton*, gpointer data) {
        auto* binding = static_cast<Binding*>(data);
        DialogWindow* self = binding->self;
        self->accepted_ =
            self->dialog_.press(self->dialog_.controls()[binding->index].id, self->host_);
        self->refresh();
    }
    static void onSelectionChanged(GObject*, GParamSpec*, gpointer data) {
        auto* binding = static_cast<Binding*>(data);
        DialogWindow* self = binding->self;
        if (self->refreshing_) return;
        Shown& shown = self->shown_[binding->index];
        gpointer item =
            gtk_single_selection_get_selected_item(GTK_SINGLE_SELECTION(shown.selection));
        std::optional<std::size_t> row;
        if (item != nullptr) row = rowOfItem(item);
        self->accepted_ = self->dialog_.selectRow(self->dialog_.controls()[binding->index].id, row);
        self->refresh();
    }

public:
    ~DialogWindow() {
        for (Shown& shown : shown_) {
            if (shown.selection != nullptr) g_object_unref(shown.selection);
            if (shown.sorted != nullptr) g_object_unref(shown.sorted);
        }
    }

private:
    ModalDialog& dialog_;
    PlatformDialogs& host_;
    const TextConverter& text_;
    ModalWindow window_;
    std::vector<Shown> shown_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    bool refreshing_ = false;
    bool accepted_ = false;
};

void addFilters(GtkFileChooser* chooser, const platform::FileChooserRequest& request,
                const TextConverter& text) {
    for (const platform::FileFilter& filter : request.filters) {
        GtkFileFilter* shown = gtk_file_filter_new();
        gtk_file_filter_set_name(shown, text.toUtf8(filter.description).c_str());
        std::string patterns = text.toUtf8(filter.patterns);
        gchar** each = g_strsplit(patterns.c_str(), ";", -1);
        for (gchar** pattern = each; *pattern != nullptr; ++pattern) {
            if (**pattern != '\0') gtk_file_filter_add_pattern(shown, *pattern);
        }
        g_strfreev(each);
        gtk_file_chooser_add_filter(chooser, shown);
        g_object_unref(shown);
    }
}

class GtkWindows final : public DesktopWindows {
public:
    explicit GtkWindows(const TextConverter& text) : text_(text) {}

    DialogEnd runDialog(ModalDialog& dialog, PlatformDialogs& host) override {
        DialogWindow window(dialog, host, text_);
        window.present();
        while (!dialog.end()) g_main_context_iteration(nullptr, TRUE);
        return *dialog.end();
    }

    void askMessage(std::string_view caption, std::string_view text) override {
        AnswerWindow box(text_.toUtf8(caption), text_.toUtf8(text));
        box.addButton("確定", 1, true);
        (void)box.ask();
    }

    std::optional<std::string> chooseFile(const platform::FileChooserRequest& request) override {
        return runChooser(newFileChooser(request), std::nullopt);
    }

    std::optional<std::string> chooseFolder(std::string_view title) override {
        return runChooser(newChooser(title, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER), std::nullopt);
    }

    void showText(std::string_view title, std::string_view text) override {
        (void)newTextViewer(title, text)->ask();
    }

    bool askYesNo(std::string_view title, std::string_view question) override {
        return newYesNo(title, question)->ask() == 1;
    }

    // The stage of a script.
    void open(ModalDialog& dialog, PlatformDialogs& host) override {
        shownId_ = dialog.templateId();
        refusedShot_ = false;
        shown_ = std::make_unique<DialogWindow>(dialog, host, text_);
        shown_->present();
        saveScreenshot(shown_->widget(), "dialog-" + std::to_string(shownId_) + "-first");
    }
    bool perform(const ScriptAction& action) override {
        return shown_ != nullptr && shown_->perform(action);
    }
    void close() override {
        shown_.reset();
        runPending();
    }
    std::optional<std::string> answerFileChooser(const platform::FileChooserRequest& request,
                                                 const std::optional<std::string>& path) override {
        return runChooser(newFileChooser(request), ChooserAnswer{path, "dialog-fileChooser"});
    }
    std::optional<std::string> answerFolderChooser(
        std::string_view title, const std::optional<std::string>& path) override {
        return runChooser(newChooser(title, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER),
                          ChooserAnswer{path, "dialog-folderChooser"});
    }
    void dismissText(std::string_view title, std::string_view text) override {
        (void)newTextViewer(title, text)->answerWith(1, "dialog-certificateViewer-first");
    }
    bool answerYesNo(std::string_view title, std::string_view question, bool yes) override {
        return newYesNo(title, question)->answerWith(yes ? 1 : 2, "dialog-keyUse-first") == 1;
    }
    void showMessage(std::string_view caption, std::string_view text) override {
        AnswerWindow box(text_.toUtf8(caption), text_.toUtf8(text));
        box.addButton("確定", 1, true);
        gtk_window_present(GTK_WINDOW(box.widget()));
        // The first refusal of each dialog is kept: its window and the box.
        if (!refusedShot_ && shown_ != nullptr) {
            refusedShot_ = true;
            std::string name = "dialog-" + std::to_string(shownId_) + "-refused";
            saveScreenshot(box.widget(), name + "-message");
            saveScreenshot(shown_->widget(), name);
        }
        runPending();
    }

private:
    // ChooserAnswer: the path a script picks in a chooser (nullopt cancels),
    // and the name of the chooser's screenshot.
    struct ChooserAnswer {
        std::optional<std::string> path;
        std::string name;
    };

    std::unique_ptr<AnswerWindow> newTextViewer(std::string_view title, std::string_view text) {
        auto viewer = std::make_unique<AnswerWindow>(text_.toUtf8(title), "");
        GtkWidget* view = gtk_text_view_new();
        gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
        gtk_text_view_set_monospace(GTK_TEXT_VIEW(view), TRUE);
        std::string shown = text_.toUtf8(text);
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), shown.c_str(),
                                 int(shown.size()));
        GtkWidget* scrolled = gtk_scrolled_window_new();
        gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scrolled), view);
        gtk_widget_set_size_request(scrolled, 560, 420);
        GtkWidget* box = gtk_window_get_child(GTK_WINDOW(viewer->widget()));
        gtk_box_prepend(GTK_BOX(box), scrolled);
        viewer->addButton("確定", 1, true);
        return viewer;
    }

    std::unique_ptr<AnswerWindow> newYesNo(std::string_view title, std::string_view question) {
        auto prompt = std::make_unique<AnswerWindow>(text_.toUtf8(title), text_.toUtf8(question));
        prompt->addButton("取消", 2, false);
        prompt->addButton("確定", 1, true);
        return prompt;
    }

    GtkWidget* newFileChooser(const platform::FileChooserRequest& request) {
        GtkWidget* chooser = newChooser(request.title, GTK_FILE_CHOOSER_ACTION_OPEN);
        addFilters(GTK_FILE_CHOOSER(chooser), request, text_);
        if (!request.initialFolder.empty()) {
            GFile* folder = g_file_new_for_path(text_.toUtf8(request.initialFolder).c_str());
            gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder, nullptr);
            g_object_unref(folder);
        }
        return chooser;
    }

    GtkWidget* newChooser(std::string_view title, GtkFileChooserAction action) {
        return gtk_file_chooser_dialog_new(text_.toUtf8(title).c_str(), nullptr, action, "取消",
                                           GTK_RESPONSE_CANCEL, "確定", GTK_RESPONSE_ACCEPT,
                                           nullptr);
    }

    // runChooser: the chooser's path, nullopt when cancelled; with `answer`,
    // the script's choice is made in it as a user's would arrive.
    std::optional<std::string> runChooser(GtkWidget* chooser,
                                          const std::optional<ChooserAnswer>& answer) {
        g_object_ref_sink(chooser);
        gtk_window_set_modal(GTK_WINDOW(chooser), TRUE);
        int response = GTK_RESPONSE_NONE;
        g_signal_connect(chooser, "response", G_CALLBACK(+[](GtkDialog*, int id, gpointer target) {
                             *static_cast<int*>(target) = id;
                         }),
                         &response);
        gtk_window_present(GTK_WINDOW(chooser));
        if (answer) {
            saveScreenshot(chooser, answer->name + "-first");
            pick(GTK_FILE_CHOOSER(chooser), answer->path, response);
        }
        while (response == GTK_RESPONSE_NONE) g_main_context_iteration(nullptr, TRUE);
        std::optional<std::string> path;
        GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser));
        if (response == GTK_RESPONSE_ACCEPT && file != nullptr) {
            char* local = g_file_get_path(file);
            if (local != nullptr) path = text_.fromUtf8(local);
            g_free(local);
        }
        if (file != nullptr) g_object_unref(file);
        gtk_window_destroy(GTK_WINDOW(chooser));
        g_object_unref(chooser);
        return path;
    }

    // pick: `path` chosen in the chooser (its folder for the folder chooser)
    // and its accept button clicked, once the chooser has taken the path in;
    // cancelled for no path, or when the chooser refuses the choice.
    void pick(GtkFileChooser* chooser, const std::optional<std::string>& path,
              const int& response) {
        GtkWidget* dialog = GTK_WIDGET(chooser);
        if (path) {
            GFile* file = g_file_new_for_path(text_.toUtf8(*path).c_str());
            bool folder =
                gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
            if (folder) {
                gtk_file_chooser_set_current_folder(chooser, file, nullptr);
            } else {
                gtk_file_chooser_set_file(chooser, file, nullptr);
            }
            // The chooser reads the folder in the background before it selects.
            gint64 deadline = g_get_monotonic_time() + kLongestWaitForDrawing;
            bool taken = false;
            while (!taken && g_get_monotonic_time() < deadline) {
                GFile* chosen = gtk_file_chooser_get_file(chooser);
                taken = chosen != nullptr && g_file_equal(chosen, file);
                if (chosen != nullptr) g_object_unref(chosen);
                if (!taken && !g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
            }
            g_object_unref(file);
            GtkWidget* accept =
                gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
            if (taken && accept != nullptr) {
                g_signal_emit_by_name(accept, "clicked");
                runPending();
            }
            if (response != GTK_RESPONSE_NONE) return;
        }
        GtkWidget* cancel =
            gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        if (cancel != nullptr) g_signal_emit_by_name(cancel, "clicked");
        runPending();
    }

    const TextConverter& text_;
    std::unique_ptr<DialogWindow> shown_;
    int shownId_ = 0;
    bool refusedShot_ = false;
};

}  // namespace
}  // namespace pennaform::ui

extern "C" __attribute__((visibility("default"))) pennaform::ui::DesktopWindows*
pennaform_open_desktop_windows(const pennaform::ui::TextConverter* text) {
    if (text == nullptr || !gtk_init_check()) return nullptr;
    try {
        return new pennaform::ui::GtkWindows(*text);
    } catch (...) {
        return nullptr;
    }
}
