#include "sample_database.h"

#include <cstdint>
#include <cstdio>
#include <iterator>

#include "new_file.h"
#include "sqlite_database.h"

namespace Corvenmark {
namespace {

const int kCustomers = 50000;
const int kProducts = 5000;
const int kOrders = 250000;
const int kMostLinesPerOrder = 5;  // 1 to 5 lines, so about 750,000 order lines
const uint64_t kSeed = 20261208;

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

// Built after the rows are in, which is faster than keeping them up to date row by row.
const char kIndexes[] = R"(
CREATE INDEX orders_by_customer ON orders (customer_id);
CREATE INDEX orders_by_date ON orders (ordered_on);
CREATE INDEX order_lines_by_product ON order_lines (product_id);
)";

const char* const kFirstNames[] = {"Ada",   "Bruno", "Chidi", "Dana",  "Emil",  "Farah",
                                   "Goran", "Hana",  "Ines",  "Jonas", "Kenji", "Lena",
                                   "Mateo", "Nora",  "Omar",  "Priya", "Quinn", "Rosa"};
const char* const kLastNames[] = {"Adler",  "Brandt", "Costa",  "Dubois", "Eriksen",  "Fischer",
                                  "Garcia", "Haddad", "Ito",    "Jansen", "Kowalski", "Larsen",
                                  "Moreau", "Novak",  "Okafor", "Petrov", "Rossi",    "Silva"};
const char* const kCountries[] = {"AT", "BR", "CA", "DE", "ES", "FR", "IN",
                                  "IT", "JP", "NG", "NL", "PL", "SE", "US"};
const char* const kCategories[] = {"books",  "garden", "kitchen", "music",
                                   "office", "sports", "tools",   "toys"};
const char* const kAdjectives[] = {"Compact", "Deluxe", "Classic", "Rugged", "Smart", "Quiet"};
const char* const kNouns[] = {"Lamp", "Kettle", "Drill", "Notebook", "Ball", "Chair", "Radio"};
const char* const kStatuses[] = {"pending", "paid", "shipped", "delivered", "cancelled"};

// SplitMix64: tiny, fast and the same on every platform, unlike the standard distributions.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<uint64_t>(bound)); }
  template <size_t N>
  const char* Pick(const char* const (&choices)[N]) {
    return choices[Below(static_cast<int>(N))];
  }
};

// Writes the date `days` after 2020-01-01 as YYYY-MM-DD, by civil calendar arithmetic over
// eras of 400 years that start on 1 March.
void FormatDate(int days, char (&text)[32]) {
  const int64_t kDaysFrom0000To2020 = 18262 + 719468;  // to 1970-01-01, then on to 2020-01-01
  const int64_t z = days + kDaysFrom0000To2020;
  const int64_t era = z / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
}

/// Binds the next parameter of a prepared insert; text must outlive the step.
struct Binder {
  sqlite3_stmt* statement;
  int index = 0;
  Binder& Int(int64_t value) {
    sqlite3_bind_int64(statement, ++index, value);
    return *this;
  }
  Binder& Text(const char* value) {
    sqlite3_bind_text(statement, ++index, value, -1, SQLITE_STATIC);
    return *this;
  }
};

class Loader {
 public:
  explicit Loader(sqlite3* db) : db_(db) {}

  bool Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error_ = sqlite3_errmsg(db_);
    return false;
  }

  bool LoadAll() {
    return Exec(kSchema) && Exec("BEGIN") && LoadCustomers() && LoadProducts() && LoadOrders() &&
           Exec(kIndexes) && Exec("COMMIT");
  }

  const std::string& error() const { return error_; }

 private:
  bool Begin(const char* sql) {
    statement_ = Prepare(db_, sql, error_);
    return statement_ != nullptr;
  }
  Binder Bind() { return Binder{statement_.get()}; }
  bool Insert(sqlite3_stmt* statement) {
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    if (!done) error_ = sqlite3_errmsg(db_);
    sqlite3_reset(statement);
    return done;
  }

  bool LoadCustomers() {
    if (!Begin("INSERT INTO customers VALUES (?, ?, ?, ?, ?)")) return false;
    char name[64], email[64], date[32];
    for (int id = 1; id <= kCustomers; ++id) {
      std::snprintf(name, sizeof name, "%s %s", random_.Pick(kFirstNames),
                    random_.Pick(kLastNames));
      std::snprintf(email, sizeof email, "customer%d@example.com", id);
      FormatDate(random_.Below(5 * 365), date);
      Bind().Int(id).Text(name).Text(email).Text(random_.Pick(kCountries)).Text(date);
      if (!Insert(statement_.get())) return false;
    }
    return true;
  }

  bool LoadProducts() {
    if (!Begin("INSERT INTO products VALUES (?, ?, ?, ?, ?)")) return false;
    char sku[32], name[64];
    for (int id = 1; id <= kProducts; ++id) {
      std::snprintf(sku, sizeof sku, "SKU-%06d", id);
      std::snprintf(name, sizeof name, "%s %s %d", random_.Pick(kAdjectives), random_.Pick(kNouns),
                    id);
      prices_[id] = 99 + random_.Below(50000);
      Bind().Int(id).Text(sku).Text(name).Text(random_.Pick(kCategories)).Int(prices_[id]);
      if (!Insert(statement_.get())) return false;
    }
    return true;
  }

  bool LoadOrders() {
    if (!Begin("INSERT INTO orders VALUES (?, ?, ?, ?)")) return false;
    StatementHandle orders = std::move(statement_);
    if (!Begin("INSERT INTO order_lines VALUES (?, ?, ?, ?, ?)")) return false;
    char date[32];
    for (int id = 1; id <= kOrders; ++id) {
      FormatDate(random_.Below(5 * 365), date);
      Binder{orders.get()}
          .Int(id)
          .Int(1 + random_.Below(kCustomers))
          .Text(date)
          .Text(random_.Pick(kStatuses));
      if (!Insert(orders.get())) return false;
      const int lines = 1 + random_.Below(kMostLinesPerOrder);
      for (int line = 1; line <= lines; ++line) {
        const int product = 1 + random_.Below(kProducts);
        Bind().Int(id).Int(line).Int(product).Int(1 + random_.Below(9)).Int(prices_[product]);
        if (!Insert(statement_.get())) return false;
      }
    }
    return true;
  }

  sqlite3* db_;
  StatementHandle statement_;
  Random random_{kSeed};
  int64_t prices_[kProducts + 1] = {};
  std::string error_;
};

bool FillDatabase(const std::string& path, std::string& errorMessage) {
  OpenedDatabase opened = OpenExistingDatabase(path, SQLITE_OPEN_READWRITE);
  if (!opened.db) {
    errorMessage = opened.errorMessage;
    return false;
  }
  Loader loader(opened.db.get());
  // The file is new and is removed if anything fails, so it needs no journal while it fills.
  const bool loaded = loader.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF") &&
                      loader.LoadAll() && loader.Exec("PRAGMA journal_mode = DELETE");
  if (!loaded) errorMessage = loader.error() + ": " + path;
  return loaded;
}

}  // namespace

bool CreateSampleDatabase(const std::string& path, std::string& errorMessage) {
  if (!CreateNewFile(path, errorMessage)) return false;
  if (FillDatabase(path, errorMessage)) return true;
  std::remove(path.c_str());
  return false;
}

}  // namespace Corvenmark
