#ifndef CORVENMARK_SAMPLE_ROWS_H_
#define CORVENMARK_SAMPLE_ROWS_H_

#include <cstdint>

namespace Corvenmark {

/// The tables of the sample database and their columns, in order:
///   customers (id, name, email, country, signed_up)
///   products (id, sku, name, category, price_cents)
///   orders (id, customer_id, ordered_on, status)
///   order_lines (order_id, line_no, product_id, quantity, unit_price_cents)
/// Keys: the id of the first three, (order_id, line_no) of order_lines. Dates are text,
/// YYYY-MM-DD; money is whole cents.
enum class SampleTable { kCustomers, kProducts, kOrders, kOrderLines };

/// One value of a sample row: an integer, or text when `text` is not null.
struct SampleValue {
  int64_t integer = 0;
  const char* text = nullptr;
};

/// Receives the sample rows. Each engine writes them its own way.
class SampleRowWriter {
 public:
  virtual ~SampleRowWriter() = default;
  /// One row of `table`, its values in the table's column order. The text lives only for the
  /// call. Returns false to stop.
  virtual bool AddRow(SampleTable table, const SampleValue* values, int count) = 0;
};

/// Generates every sample row from a fixed seed, so that every engine writes the same rows:
/// all customers, then all products, then each order followed by its lines. Returns false as
/// soon as the writer does.
bool GenerateSampleRows(SampleRowWriter& writer);

}  // namespace Corvenmark

#endif  // CORVENMARK_SAMPLE_ROWS_H_
