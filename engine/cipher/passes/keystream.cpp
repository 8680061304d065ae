#include "cipher/passes/keystream.h"

#include <algorithm>
#include <deque>
#include <numeric>

#include "cipher/passes/simd.h"

namespace qvx {
namespace {

// The data is worked on this many bytes at a time, so that it stays in
// the first cache level while the tables are added.
constexpr std::size_t kChunk = 4096;
// Two parts merge into one table of their common period while it stays
// this short: the tables are read straight through, a chunk at a time, so
// even one of 256 KiB costs less than one more table read per byte (with
// the sample record the ten passes come to 6 or 7 tables instead of 8),
// and a run never holds more than a few MiB of tables.
constexpr std::size_t kMergedPeriod = 256 * 1024;
// Keystreams whose tables are kept for another of the same parts.
constexpr std::size_t kKept = 2;

std::vector<unsigned char> repeat(const std::vector<unsigned char>& part, std::size_t period) {
  std::vector<unsigned char> v(period);
  for (std::size_t i = 0; i < period; i += part.size())
    std::copy_n(part.begin(), std::min(part.size(), period - i), v.begin() + static_cast<std::ptrdiff_t>(i));
  return v;
}

}  // namespace

void Keystream::add_text(int sign, std::string_view s) {
  if (s.empty()) return;
  add(s.size(), [&](std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    return static_cast<unsigned char>(sign < 0 ? 0u - c : c);
  });
}

void Keystream::build() {
  // The twins and spares of a chain repeat its stages, and so its
  // keystreams: the tables of the last ones built are handed out again
  // for the same parts. (Stages are built by the planning thread alone.)
  struct Built {
    std::map<std::size_t, std::vector<unsigned char>> parts;
    std::vector<Table> tables;
  };
  static std::deque<Built> built;
  for (const Built& b : built)
    if (b.parts == parts_) {
      tables_ = b.tables;
      parts_.clear();
      return;
    }
  Built made{parts_, {}};
  struct Part {
    std::size_t period;
    std::vector<unsigned char> values;
  };
  std::vector<Part> parts;
  for (auto& [period, values] : parts_)
    if (std::any_of(values.begin(), values.end(), [](unsigned char v) { return v != 0; }))
      parts.push_back({period, std::move(values)});
  parts_.clear();
  // Merge the pair with the shortest common period while it is short.
  for (;;) {
    std::size_t best_i = 0, best_j = 0, best = SIZE_MAX;
    for (std::size_t i = 0; i < parts.size(); ++i)
      for (std::size_t j = i + 1; j < parts.size(); ++j) {
        const std::size_t l = std::lcm(parts[i].period, parts[j].period);
        if (l < best) best = l, best_i = i, best_j = j;
      }
    if (best > kMergedPeriod) break;
    std::vector<unsigned char> merged = repeat(parts[best_i].values, best);
    const std::vector<unsigned char> other = repeat(parts[best_j].values, best);
    for (std::size_t k = 0; k < best; ++k) merged[k] = static_cast<unsigned char>(merged[k] + other[k]);
    parts[best_i] = {best, std::move(merged)};
    parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(best_j));
  }
  tables_.clear();
  for (Part& p : parts)
    tables_.push_back(
        {p.period, 0, std::make_shared<const std::vector<unsigned char>>(repeat(p.values, p.period + kChunk))});
  made.tables = tables_;
  built.push_front(std::move(made));
  if (built.size() > kKept) built.pop_back();
}

void Keystream::apply(unsigned char* data, std::size_t n, Direction d) {
  std::vector<const unsigned char*>& at = at_;
  at.resize(tables_.size());
  for (std::size_t off = 0; off < n; off += kChunk) {
    const std::size_t m = std::min(kChunk, n - off);
    for (std::size_t t = 0; t < tables_.size(); ++t) {
      Table& table = tables_[t];
      at[t] = table.values->data() + table.at;
      table.at = (table.at + m) % table.period;
    }
    if (d == Direction::encode)
      simd::add_tables(data + off, m, at.data(), at.size());
    else
      simd::subtract_tables(data + off, m, at.data(), at.size());
  }
}

void Keystream::apply_at(unsigned char* data, std::size_t n, uint64_t offset, Direction d) {
  for (Table& t : tables_) t.at = static_cast<std::size_t>(offset % t.period);
  apply(data, n, d);
}

std::string keystream_how(bool works, bool combined, const Keystream* ks) {
  const std::string tables = ks ? ", " + std::to_string(ks->tables()) + " tables" : "";
  if (combined) return ks ? "keystream of the run" + tables : "in the keystream";
  if (!works) return "copy";
  return ks ? "keystream" + tables : "";
}

std::size_t combine_terms(std::vector<std::unique_ptr<Stage>>& stages) {
  std::size_t runs = 0;
  for (std::size_t i = 0; i < stages.size();) {
    auto ks = std::make_shared<Keystream>();
    std::size_t j = i;
    for (; j < stages.size(); ++j) {
      const auto* term = dynamic_cast<const TermStage*>(stages[j].get());
      if (!term || !term->add_term(*ks)) break;
    }
    if (j - i >= 2) {
      ks->build();
      dynamic_cast<TermStage&>(*stages[i]).replace_term(ks);
      for (std::size_t k = i + 1; k < j; ++k) dynamic_cast<TermStage&>(*stages[k]).replace_term(nullptr);
      ++runs;
    }
    i = std::max(j, i + 1);
  }
  return runs;
}

}  // namespace qvx
