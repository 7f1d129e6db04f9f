#include "engines/sqlite/sqlite_sample.h"

#include <iterator>

#include "engines/sqlite/sqlite_engine.h"
#include "engines/new_database.h"
#include "engines/sample_rows.h"
#include "engines/sqlite/sqlite_database.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

const char kSchema[] = R"(
CREATE TABLE customers (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  email TEXT NOT NULL UNIQUE,
  country TEXT NOT NULL,
  signed_up TEXT NOT NULL
);
CREATE TABLE products (
  id INTEGER PRIMARY KEY,
  sku TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  category TEXT NOT NULL,
  price_cents INTEGER NOT NULL CHECK (price_cents > 0)
);
CREATE TABLE orders (
  id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers (id),
  ordered_on TEXT NOT NULL,
  status TEXT NOT NULL DEFAULT 'pending'
);
CREATE TABLE order_lines (
  order_id INTEGER NOT NULL REFERENCES orders (id),
  line_no INTEGER NOT NULL,
  product_id INTEGER NOT NULL REFERENCES products (id),
  quantity INTEGER NOT NULL CHECK (quantity > 0),
  unit_price_cents INTEGER NOT NULL,
  PRIMARY KEY (order_id, line_no)
) WITHOUT ROWID;
)";

// One insert per table, in the order of SampleTable.
const char* const kInserts[] = {
    "INSERT INTO customers VALUES (?, ?, ?, ?, ?)",
    "INSERT INTO products VALUES (?, ?, ?, ?, ?)",
    "INSERT INTO orders VALUES (?, ?, ?, ?)",
    "INSERT INTO order_lines VALUES (?, ?, ?, ?, ?)",
};

// Built after the rows are in, which is faster than keeping them up to date row by row.
const char kIndexes[] = R"(
CREATE INDEX orders_by_customer ON orders (customer_id);
CREATE INDEX orders_by_date ON orders (ordered_on);
CREATE INDEX order_lines_by_product ON order_lines (product_id);
)";

class Loader : public SampleRowWriter {
 public:
  explicit Loader(sqlite3* db) : db_(db) {}

  bool Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
  }

  bool LoadAll() {
    if (!Exec(kSchema) || !Exec("BEGIN")) return false;
    for (size_t table = 0; table < std::size(kInserts); ++table) {
      inserts_[table] = Prepare(db_, kInserts[table], error_);
      if (!inserts_[table]) return false;
    }
    return GenerateSampleRows(*this) && Exec(kIndexes) && Exec("COMMIT");
  }

  bool AddRow(SampleTable table, const SampleValue* values, int count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    sqlite3_stmt* insert = inserts_[static_cast<size_t>(table)].get();
    for (int i = 0; i < count; ++i) {
      if (values[i].text != nullptr) {
        sqlite3_bind_text(insert, i + 1, values[i].text, -1, SQLITE_STATIC);
      } else {
        sqlite3_bind_int64(insert, i + 1, values[i].integer);
      }
    }
    const bool done = sqlite3_step(insert) == SQLITE_DONE;
    if (!done) error_ = sqlite3_errmsg(db_);
    sqlite3_reset(insert);
    return done;
  }

  const std::string& error() const { return error_; }

 private:
  sqlite3* db_;
  StatementHandle inserts_[std::size(kInserts)];
  std::string error_;
};

// Fills the new file at `path`; messages name `shownPath`, the name the user gave.
bool FillDatabase(const std::string& path, const std::string& shownPath,
                  std::string& errorMessage) {
  OpenedDatabase opened = OpenExistingDatabase(path, SQLITE_OPEN_READWRITE);
  if (!opened.db) {
    errorMessage = opened.errorMessage.substr(0, opened.errorMessage.rfind(": ")) + ": " +
                   shownPath;
    return false;
  }
  Loader loader(opened.db.get());
  // The file is new and is removed if anything fails, so it needs no journal while it fills.
  const bool loaded = loader.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF") &&
                      loader.LoadAll() && loader.Exec("PRAGMA journal_mode = DELETE");
  if (!loaded) errorMessage = loader.error() + ": " + shownPath;
  return loaded;
}

}  // namespace

SampleResult CreateSqliteSampleDatabase(const std::string& path) {
  return CreateNewDatabase(path, {FillDatabase, false, {}, ListsAsSqlite});
}

}  // namespace Corvenmark
