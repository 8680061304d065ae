// Terms that depend only on the byte number n, as sums of periodic
// sequences. Passes 1 to 10 each add such a term (key characters with
// period the key's length, a personalization text, the 20-digit ring and
// three 8-bit values that repeat every 256 bytes), and so does an exchange
// pass whose input is all tail. None of them changes the size, so n is the
// same in all of them, and a run of them adds up to one term: per period
// one sequence, merged into a few tables read at n mod period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/passes/coder.h"
#include "cipher/passes/stage.h"

namespace qvx {

class Keystream {
 public:
  // Adds value(i) at every byte n with n mod period = i (i < period).
  template <class Value>
  void add(std::size_t period, Value value) {
    std::vector<unsigned char>& part = parts_[period];
    if (part.empty()) part.assign(period, 0);
    for (std::size_t i = 0; i < period; ++i) part[i] = static_cast<unsigned char>(part[i] + value(i));
  }
  // Adds `sign` (+1 or -1) times s[n mod |s|]; nothing for an empty s.
  void add_text(int sign, std::string_view s);

  // After the last add: the parts merged into the tables, positioned at
  // byte 0.
  void build();
  // The term of the next n bytes added (encoding) or taken away.
  void apply(unsigned char* data, std::size_t n, Direction d);
  // The same for the n bytes from byte number `offset` on (the next apply
  // goes on from their end).
  void apply_at(unsigned char* data, std::size_t n, uint64_t offset, Direction d);
  // Tables read per byte (for the notes and the cost of a stage).
  std::size_t tables() const { return tables_.size(); }

 private:
  struct Table {
    std::size_t period = 0;
    std::size_t at = 0;  // n mod period of the next byte
    // One period and a chunk more; shared by keystreams of the same parts.
    std::shared_ptr<const std::vector<unsigned char>> values;
  };
  std::map<std::size_t, std::vector<unsigned char>> parts_;
  std::vector<Table> tables_;
  std::vector<const unsigned char*> at_;  // where each table is read next
};

// A stage whose whole work, for the input it was built for, is adding a
// term of the byte number to every byte (or passing them on unchanged).
class TermStage {
 public:
  virtual ~TermStage() = default;
  // Adds the stage's term, as encoding adds it; false when the stage is
  // not of that kind for its input.
  virtual bool add_term(Keystream& ks) const = 0;
  // From now on the stage adds `ks` instead of its own term, or, when null,
  // hands its input on unchanged; its report stays its own.
  virtual void replace_term(std::shared_ptr<Keystream> ks) = 0;
};

// What a term stage says of itself: "copy", "keystream, k tables" (its
// own, or the sum it adds for a run), or "in the keystream".
std::string keystream_how(bool works, bool combined, const Keystream* ks);

// The planner's rule: every run of two or more consecutive stages that only
// add terms becomes one keystream stage (the run's first adds the sum, the
// others pass the data on). Returns the number of runs combined.
std::size_t combine_terms(std::vector<std::unique_ptr<Stage>>& stages);

}  // namespace qvx
