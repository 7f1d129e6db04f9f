#include "engines/duckdb/duckdb_sample.h"

#include <iterator>

#include "engines/duckdb/duckdb_engine.h"
#include "engines/duckdb/duckdb_database.h"
#include "engines/new_database.h"
#include "engines/sample_rows.h"
#include "platform/file_system.h"
#include "platform/interrupt.h"

namespace Corvenmark {
namespace {

// The SQLite sample's tables with the types that compare as the same family: its dates are
// text, so they are VARCHAR here too. Foreign keys are left out: DuckDB checks them on every
// append, which orders and their lines, appended side by side, would fail, and it forbids ever
// changing a referenced key afterwards.
const char kSchema[] = R"(
CREATE TABLE customers (
  id INTEGER PRIMARY KEY,
  name VARCHAR NOT NULL,
  email VARCHAR NOT NULL UNIQUE,
  country VARCHAR NOT NULL,
  signed_up VARCHAR NOT NULL
);
CREATE TABLE products (
  id INTEGER PRIMARY KEY,
  sku VARCHAR NOT NULL UNIQUE,
  name VARCHAR NOT NULL,
  category VARCHAR NOT NULL,
  price_cents INTEGER NOT NULL CHECK (price_cents > 0)
);
CREATE TABLE orders (
  id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL,
  ordered_on VARCHAR NOT NULL,
  status VARCHAR NOT NULL DEFAULT 'pending'
);
CREATE TABLE order_lines (
  order_id INTEGER NOT NULL,
  line_no INTEGER NOT NULL,
  product_id INTEGER NOT NULL,
  quantity INTEGER NOT NULL CHECK (quantity > 0),
  unit_price_cents INTEGER NOT NULL,
  PRIMARY KEY (order_id, line_no)
);
)";

// The SQLite sample's indexes, made once the rows are in.
const char kIndexes[] = R"(
CREATE INDEX orders_by_customer ON orders (customer_id);
CREATE INDEX orders_by_date ON orders (ordered_on);
CREATE INDEX order_lines_by_product ON order_lines (product_id);
)";

// DuckDB's write-ahead log is the database's name followed by this.
const char kLogSuffix[] = ".wal";

// In the order of SampleTable.
const char* const kTables[] = {"customers", "products", "orders", "order_lines"};

class Loader : public SampleRowWriter {
 public:
  explicit Loader(duckdb_connection connection) : connection_(connection) {}

  bool LoadAll() {
    const DuckDbApi& api = *DuckDb();
    DuckDbResult created;
    if (api.duckdb_query(connection_, kSchema, created.get()) != DuckDBSuccess) {
      error_ = created.Error();
      return false;
    }
    for (size_t table = 0; table < std::size(kTables); ++table) {
      duckdb_appender appender = nullptr;
      const duckdb_state state =
          api.duckdb_appender_create(connection_, nullptr, kTables[table], &appender);
      appenders_[table].reset(appender);
      if (state != DuckDBSuccess) {
        error_ = AppenderError(appender);
        return false;
      }
    }
    if (!GenerateSampleRows(*this)) return false;
    for (const DuckDbAppender& appender : appenders_) {
      if (api.duckdb_appender_close(appender.get()) != DuckDBSuccess) {
        error_ = AppenderError(appender.get());
        return false;
      }
    }
    return true;
  }

  bool AddRow(SampleTable table, const SampleValue* values, int count) override {
    if (InterruptWatch::Requested()) {
      error_ = "interrupted";
      return false;
    }
    const DuckDbApi& api = *DuckDb();
    duckdb_appender appender = appenders_[static_cast<size_t>(table)].get();
    for (int i = 0; i < count; ++i) {
      const duckdb_state state = values[i].text != nullptr
                                     ? api.duckdb_append_varchar(appender, values[i].text)
                                     : api.duckdb_append_int64(appender, values[i].integer);
      if (state != DuckDBSuccess) {
        error_ = AppenderError(appender);
        return false;
      }
    }
    if (api.duckdb_appender_end_row(appender) == DuckDBSuccess) return true;
    error_ = AppenderError(appender);
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  duckdb_connection connection_;
  DuckDbAppender appenders_[std::size(kTables)];
  std::string error_;
};

bool LoadSample(duckdb_connection connection, std::string& error) {
  Loader loader(connection);
  if (!loader.LoadAll()) {
    error = loader.error();
    return false;
  }
  DuckDbResult indexed;
  if (DuckDb()->duckdb_query(connection, kIndexes, indexed.get()) == DuckDBSuccess) return true;
  error = indexed.Error();
  return false;
}

// Loads the rows into the new database at `path` and checkpoints it, so that every row is in
// the file itself and on disk before the database is closed. Closing checkpoints too, but
// swallows any failure (a full disk among them) and leaves the rows in the log.
bool LoadAndCheckpoint(const std::string& path, const DuckDbLoad& load, std::string& error) {
  OpenedDuckDb opened = OpenDuckDb(path, DuckDbOpenMode::kCreate);
  if (!opened.database) {
    error = opened.errorMessage;
    return false;
  }
  if (!load(opened.connection.get(), error)) return false;
  DuckDbResult checkpoint;
  if (DuckDb()->duckdb_query(opened.connection.get(), "CHECKPOINT", checkpoint.get()) !=
      DuckDBSuccess) {
    error = checkpoint.Error();
    return false;
  }
  return true;
}

}  // namespace

bool FillNewDuckDb(const std::string& path, const std::string& shownPath, const DuckDbLoad& load,
                   std::string& errorMessage) {
  std::string error;
  if (LoadAndCheckpoint(path, load, error)) {
    // After a checkpoint the log is gone. One still there holds rows the file lacks: the file
    // is incomplete, and the log is removed with it rather than published without it.
    if (!PathExists(path + kLogSuffix)) return true;
    error = "the database could not be completed";
  }
  errorMessage = error == kOutOfMemory ? error : error + ": " + shownPath;
  return false;
}

std::string AppenderError(duckdb_appender appender) {
  const DuckDbApi& api = *DuckDb();
  const DuckDbErrorData error(api.duckdb_appender_error_data(appender));
  if (error && api.duckdb_error_data_error_type(error.get()) == DUCKDB_ERROR_OUT_OF_MEMORY) {
    return kOutOfMemory;
  }
  return DuckDbError(error ? api.duckdb_error_data_message(error.get()) : nullptr);
}

SampleResult CreateNewDuckDb(const std::string& path, const DuckDbLoad& load) {
  // DuckDB makes no database of an empty file, only of a missing one. A failed build may leave
  // its log behind.
  const auto fill = [&](const std::string& buildPath, const std::string& shownPath,
                        std::string& errorMessage) {
    return FillNewDuckDb(buildPath, shownPath, load, errorMessage);
  };
  return CreateNewDatabase(path, {fill, true, {kLogSuffix}, [](const std::string& built, std::string& error) {
                             return OpensAndLists(DuckDbEngine::Open, built, error);
                           }});
}

SampleResult CreateDuckDbSampleDatabase(const std::string& path) {
  return CreateNewDuckDb(path, LoadSample);
}

}  // namespace Corvenmark
