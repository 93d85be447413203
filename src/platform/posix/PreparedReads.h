// PreparedReads: the reading statements of one object, each prepared once on
// the reading connection and run again with new bindings. Preparing a
// statement costs more than running one of these single-row queries, and
// signing runs several of them at every signature.
#pragma once

#include <list>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/StateDatabase.h"

namespace pennaform::platform {

class PreparedReads {
public:
    // Lease: one statement, ready for its bindings. The statement is reset
    // when the lease ends, so that no read transaction outlives the reading
    // (a statement left on a row would keep an old snapshot of the database
    // in view, and changes of other processes out of it).
    class Lease {
    public:
        explicit Lease(Statement& statement) : statement_(&statement) {}
        Lease(Lease&& other) noexcept : statement_(std::exchange(other.statement_, nullptr)) {}
        Lease& operator=(Lease&&) = delete;
        ~Lease() {
            if (statement_ != nullptr) statement_->reset();
        }
        Statement& operator*() const { return *statement_; }
        Statement* operator->() const { return statement_; }

    private:
        Statement* statement_;
    };

    // statement: `sql` on `connection`, prepared on its first use there. The
    // statements of a connection are kept while the reader stays the same
    // connection; another connection starts the set afresh.
    Outcome<Lease> statement(Connection& connection, std::string_view sql) {
        if (&connection != connection_) {
            statements_.clear();
            connection_ = &connection;
        }
        for (auto& [text, prepared] : statements_) {
            if (text == sql) return Lease(prepared);
        }
        Outcome<Statement> prepared = connection.prepare(sql);
        if (!prepared) return prepared.failure();
        statements_.emplace_back(std::string(sql), std::move(*prepared));
        return Lease(statements_.back().second);
    }

private:
    Connection* connection_ = nullptr;
    // A list: a lease keeps pointing at its statement while others are added.
    std::list<std::pair<std::string, Statement>> statements_;
};

}  // namespace pennaform::platform
