#include "signing/SignerSelection.h"

#include <memory>
#include <vector>

#include "certificates/CertWrapper.h"
#include "certificates/CertificateSearch.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "pfx/PfxStore.h"
#include "platform/FileSystem.h"
#include "platform/FileTimes.h"
#include "signing/SignerPort.h"
#include "ui/DialogOperations.h"
#include "ui/hosts/HeadlessDialogHost.h"

namespace pennaform::signing {

namespace {

namespace errors = platform::errors;
constexpr std::int32_t kOpenPersonalStoreFailed = 5201;
constexpr std::size_t kThumbprintLength = 40;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int decimal(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// sha1OfThumbprint: the 20 bytes of a thumbprint text: exactly 40 upper-case
// hex digits, since a thumbprint compares case-sensitively.
std::optional<platform::Bytes> sha1OfThumbprint(std::string_view text) {
    if (text.size() != kThumbprintLength) return std::nullopt;
    for (char c : text) {
        if (!isDigit(c) && !(c >= 'A' && c <= 'F')) return std::nullopt;
    }
    ByteBuffer bytes;
    if (!bytes.hexDecode(text)) return std::nullopt;
    return platform::Bytes(bytes.bytes().begin(), bytes.bytes().end());
}

std::unique_ptr<platform::CertificateStore> openPersonalStore(platform::Platform& platform,
                                                              platform::PlatformError& outError) {
    if (platform.stores() == nullptr) {
        outError = errors::kErrorNotSupported;
        return nullptr;
    }
    auto store = platform.stores()->openSystemStore(platform::SystemStore::kMy);
    outError = store.error();
    return store ? std::move(*store) : nullptr;
}

// takeCertificate: the chosen certificate becomes the signer's.
void takeCertificate(platform::Platform& platform, SignerState& state,
                     const platform::StoredCertificate& chosen) {
    state.signerCertBytes = chosen.encoded;
    state.signerCertHash = CertWrapper(platform, chosen.encoded).thumbprint();
}

void releaseKeptPfx(SignerState& state, std::int32_t flags) {
    if (state.keptPfx != nullptr) {
        closePfx(*state.keptPfx);
        state.keptPfx.reset();
    }
    state.keepPfx = (flags & selectionFlags::kKeepPfx) != 0;
}

void saveToPortIfAsked(platform::Platform& platform, SignerState& state,
                       const SelectionRequest& request) {
    if (request.call != SelectionCall::kSelectSignerEx2) return;
    if (std::optional<SignerPort> port = openSignerPort(state, platform)) saveSigner(*port, state);
}

// pickerPosition: the match to take: the first without asking, or the
// picker's choice; nullopt with the picker's code when nothing is chosen.
std::optional<std::size_t> pickerPosition(platform::Platform& platform,
                                          const std::vector<platform::StoredCertificate>& matches,
                                          std::int32_t flags, std::int32_t& outCode) {
    const std::int32_t mode = flags & searchFlags::kSelectionMask;
    const bool ask = mode == selectionFlags::kPickerAlways ||
                     (matches.size() > 1 && mode != searchFlags::kBestOnly);
    if (!ask) return 0;
    std::vector<ui::CertificateRow> rows;
    rows.reserve(matches.size());
    for (const platform::StoredCertificate& match : matches) {
        rows.push_back(ui::CertificateRow::from(CertWrapper(platform, match.encoded)));
    }
    const ui::PickResult picked = ui::pickCertificate(ui::dialogHostOf(platform), rows);
    outCode = picked.code;
    if (picked.code != codes::kSuccess || picked.position >= matches.size()) return std::nullopt;
    return picked.position;
}

// fromPersonalStore: the personal-store source; true when it chose a signer.
bool fromPersonalStore(platform::Platform& platform, SignerState& state,
                       const SelectionRequest& request, SelectionResult& result) {
    releaseKeptPfx(state, request.flags);
    std::unique_ptr<platform::CertificateStore> store =
        openPersonalStore(platform, result.capiError);
    if (store == nullptr) {
        result.code = kOpenPersonalStoreFailed;
        return false;
    }
    CertificateSearch search(platform, store.get());
    std::vector<platform::StoredCertificate> matches;
    result.code = search.findMatches(
        &matches, {request.filter, request.flags, request.keyUsage, request.compareTime});
    result.capiError = search.lastError();
    if (result.code != codes::kSuccess || matches.empty()) return false;
    std::optional<std::size_t> position =
        pickerPosition(platform, matches, request.flags, result.code);
    if (!position) return false;
    state.signerMedia = signerMedia::kPersonalStore;
    state.signerCertPasswd.clear();
    state.signerCertFilePath.clear();
    state.signerCertFileName.clear();
    takeCertificate(platform, state, matches[*position]);
    saveToPortIfAsked(platform, state, request);
    return true;
}

// PfxChoice: the file and password a PFX source works with.
struct PfxChoice {
    std::string folder;
    std::string name;
    platform::SecretText password;
};

// askForPfx: the PFX dialog, prefilled as each operation prefills it; 0 with
// the choice, or the dialog's code.
std::int32_t askForPfx(platform::Platform& platform, const SelectionRequest& request,
                       PfxChoice& choice) {
    const bool given = request.call != SelectionCall::kSelectSigner;
    std::string folder(given ? request.pfxFolder : std::string_view());
    std::string name(given ? request.pfxName : std::string_view());
    platform::SecretText typed(request.call == SelectionCall::kSelectSignerEx ? request.password
                                                                              : std::string_view());
    std::string password(typed.view());
    const std::int32_t code = ui::askPfxFile(ui::dialogHostOf(platform), folder, name, password,
                                             request.minPasswordLength, request.maxPasswordLength);
    typed.assign(password);
    platform::wipeMemory(password.data(), password.size());
    if (code != codes::kSuccess) return code;
    choice.folder = std::move(folder);
    choice.name = std::move(name);
    choice.password = std::move(typed);
    return codes::kSuccess;
}

std::int32_t choosePfx(platform::Platform& platform, const SelectionRequest& request,
                       PfxChoice& choice) {
    if (request.call == SelectionCall::kSelectSignerEx && !request.password.empty() &&
        platform::pathExists(pfxFilePath(request.pfxFolder, request.pfxName))) {
        choice.folder = request.pfxFolder;
        choice.name = request.pfxName;
        choice.password.assign(request.password);
        return codes::kSuccess;
    }
    return askForPfx(platform, request, choice);
}

// fromPfxFile: the PFX source; true when it chose a signer.
bool fromPfxFile(platform::Platform& platform, SignerState& state, const SelectionRequest& request,
                 SelectionResult& result) {
    releaseKeptPfx(state, request.flags);
    PfxChoice choice;
    result.code = choosePfx(platform, request, choice);
    if (result.code != codes::kSuccess) return false;
    auto loaded = std::make_unique<PfxStore>(platform);
    result.code = loadPfx(*loaded, pfxFilePath(choice.folder, choice.name), choice.password.view(),
                          pfxLoadFlags::kExportableKeys);
    result.capiError = loaded->platformError();
    if (result.code != codes::kSuccess) return false;
    CertificateSearch search(platform, loaded->store());
    std::vector<platform::StoredCertificate> matches;
    result.code = search.findFirstMatch(
        &matches, {request.filter, request.flags, request.keyUsage, request.compareTime});
    result.capiError = search.lastError();
    if (result.code != codes::kSuccess) return false;
    if (matches.empty()) {
        result.code = codes::kCertificateNotFound;
        return false;
    }
    state.signerMedia = signerMedia::kPfxFile;
    state.signerCertFilePath = choice.folder;
    state.signerCertFileName = choice.name;
    state.signerCertPasswd = std::move(choice.password);
    takeCertificate(platform, state, matches.front());
    if (request.call == SelectionCall::kSelectSignerEx2) result = {};
    saveToPortIfAsked(platform, state, request);
    // The file searched is the file to keep: it stays loaded as it is.
    if (state.keepPfx) state.keptPfx = std::move(loaded);
    return true;
}

bool pfxNamedAndPresent(const SelectionRequest& request) {
    return request.call != SelectionCall::kSelectSigner && !request.pfxFolder.empty() &&
           !request.pfxName.empty() &&
           platform::pathExists(pfxFilePath(request.pfxFolder, request.pfxName));
}

}  // namespace

CompareDate parseCompareDate(std::string_view text, int milliseconds) {
    if (text.empty()) return {};
    constexpr std::size_t kLength = 14;
    if (text.size() != kLength) return {codes::kBadArgument, std::nullopt};
    for (char c : text) {
        if (!isDigit(c)) return {codes::kBadArgument, std::nullopt};
    }
    platform::SystemTime time;
    time.year = decimal(text.substr(0, 4));
    time.month = decimal(text.substr(4, 2));
    time.day = decimal(text.substr(6, 2));
    time.hour = decimal(text.substr(8, 2));
    time.minute = decimal(text.substr(10, 2));
    time.second = decimal(text.substr(12, 2));
    time.milliseconds = milliseconds;
    if (time.month > 12 || time.day > 31 || time.hour > 23 || time.minute > 59 ||
        time.second > 59) {
        return {codes::kBadArgument, std::nullopt};
    }
    // Within the ranges but no calendar date: refused rather than compared
    // against an undefined instant.
    std::optional<platform::FileTime> instant = platform::systemTimeToFileTime(time);
    if (!instant) return {codes::kBadArgument, std::nullopt};
    return {codes::kSuccess, instant};
}

bool restoreFromPort(platform::Platform& platform, SignerState& state) {
    std::optional<SignerPort> port = openSignerPort(state, platform);
    if (!port) return false;
    std::optional<SavedSigner> saved = readSavedSigner(*port);
    if (!saved) return false;
    std::optional<platform::Bytes> sha1 = sha1OfThumbprint(saved->hash);
    if (!sha1) return false;

    std::unique_ptr<platform::CertificateStore> personal;
    PfxStore file(platform);
    platform::CertificateStore* store = nullptr;
    if (saved->media == signerMedia::kPersonalStore) {
        platform::PlatformError ignored = 0;
        personal = openPersonalStore(platform, ignored);
        store = personal.get();
    } else {
        const std::string path = pfxFilePath(saved->folder, saved->name);
        if (platform::pathExists(path) &&
            loadPfx(file, path, saved->password.view(), pfxLoadFlags::kExportableKeys) ==
                codes::kSuccess) {
            store = file.store();
        }
    }
    if (store == nullptr) return false;
    platform::Outcome<platform::StoredCertificate> found = store->findBySha1(*sha1);
    if (!found) return false;
    state.signerMedia = saved->media;
    state.signerCertHash = saved->hash;
    state.signerCertBytes = found->encoded;
    state.signerCertPasswd = std::move(saved->password);
    state.signerCertFilePath = saved->folder;
    state.signerCertFileName = saved->name;
    return true;
}

SelectionResult selectSigner(platform::Platform& platform, SignerState& state,
                             const SelectionRequest& request) {
    if (request.call == SelectionCall::kSelectSignerEx2 && request.port > 0 &&
        restoreFromPort(platform, state)) {
        return {};
    }
    const std::int32_t sourceBits =
        request.flags & (selectionFlags::kPersonalStore | selectionFlags::kPfxFile);
    const bool usePersonal = sourceBits == 0 || (sourceBits & selectionFlags::kPersonalStore);
    const bool usePfx =
        sourceBits == 0 || (sourceBits & selectionFlags::kPfxFile) || pfxNamedAndPresent(request);

    SelectionResult result;
    if (usePersonal && fromPersonalStore(platform, state, request, result)) return result;
    if (result.capiError == errors::kNtePerm) return {codes::kInsufficientRights, result.capiError};
    if (!usePfx) return result;
    // The picker's cancel said nothing about the file: the PFX source starts
    // afresh.
    result = {};
    (void)fromPfxFile(platform, state, request, result);
    if (result.capiError == errors::kNtePerm) result.code = codes::kInsufficientRights;
    return result;
}

}  // namespace pennaform::signing
