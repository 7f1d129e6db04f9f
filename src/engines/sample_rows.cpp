#include "engines/sample_rows.h"

#include <cstdio>

namespace Corvenmark {
namespace {

const int kCustomers = 50000;
const int kProducts = 5000;
const int kOrders = 250000;
const int kMostLinesPerOrder = 5;  // 1 to 5 lines, so about 750,000 order lines
const uint64_t kSeed = 20261208;

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

SampleValue Int(int64_t value) { return {value, nullptr}; }
SampleValue Text(const char* value) { return {0, value}; }

class Generator {
 public:
  explicit Generator(SampleRowWriter& writer) : writer_(writer) {}

  bool Customers() {
    char name[64], email[64], date[32];
    for (int id = 1; id <= kCustomers; ++id) {
      // Picked one by one: the order in which a call's arguments are evaluated is unspecified.
      const char* first = random_.Pick(kFirstNames);
      const char* last = random_.Pick(kLastNames);
      std::snprintf(name, sizeof name, "%s %s", first, last);
      std::snprintf(email, sizeof email, "customer%d@example.com", id);
      FormatDate(random_.Below(5 * 365), date);
      const char* country = random_.Pick(kCountries);
      const SampleValue row[] = {Int(id), Text(name), Text(email), Text(country), Text(date)};
      if (!writer_.AddRow(SampleTable::kCustomers, row, 5)) return false;
    }
    return true;
  }

  bool Products() {
    char sku[32], name[64];
    for (int id = 1; id <= kProducts; ++id) {
      std::snprintf(sku, sizeof sku, "SKU-%06d", id);
      const char* adjective = random_.Pick(kAdjectives);
      const char* noun = random_.Pick(kNouns);
      std::snprintf(name, sizeof name, "%s %s %d", adjective, noun, id);
      prices_[id] = 99 + random_.Below(50000);
      const char* category = random_.Pick(kCategories);
      const SampleValue row[] = {Int(id), Text(sku), Text(name), Text(category), Int(prices_[id])};
      if (!writer_.AddRow(SampleTable::kProducts, row, 5)) return false;
    }
    return true;
  }

  bool Orders() {
    char date[32];
    for (int id = 1; id <= kOrders; ++id) {
      FormatDate(random_.Below(5 * 365), date);
      const int customer = 1 + random_.Below(kCustomers);
      const char* status = random_.Pick(kStatuses);
      const SampleValue order[] = {Int(id), Int(customer), Text(date), Text(status)};
      if (!writer_.AddRow(SampleTable::kOrders, order, 4)) return false;
      const int lines = 1 + random_.Below(kMostLinesPerOrder);
      for (int line = 1; line <= lines; ++line) {
        const int product = 1 + random_.Below(kProducts);
        const int quantity = 1 + random_.Below(9);
        const SampleValue orderLine[] = {Int(id), Int(line), Int(product), Int(quantity),
                                         Int(prices_[product])};
        if (!writer_.AddRow(SampleTable::kOrderLines, orderLine, 5)) return false;
      }
    }
    return true;
  }

 private:
  SampleRowWriter& writer_;
  Random random_{kSeed};
  int64_t prices_[kProducts + 1] = {};
};

}  // namespace

bool GenerateSampleRows(SampleRowWriter& writer) {
  Generator generator(writer);
  return generator.Customers() && generator.Products() && generator.Orders();
}

}  // namespace Corvenmark
