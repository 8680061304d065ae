// The check key follows what decoding uses, not how the command line
// spelled it: command lines that decode alike key alike, and every input
// that changes the decoded data changes the key.
#include "MAIN_vuriv_2025/check_run.h"

#include <gtest/gtest.h>

#include "MAIN_vuriv_2025/cli.h"
#include "books.h"

namespace qvx {
namespace {

using namespace qvx::testing;

crypto::HashValue key_for(const KeyRecord& r, std::vector<std::string> params) {
  params.insert(params.begin(), {"qvx7", "k.kb", "1", "d", "in", "out"});
  std::vector<char*> argv;
  for (auto& p : params) argv.push_back(p.data());
  argv.push_back(nullptr);
  check::Salt salt{};
  crypto::HashValue key{};
  EXPECT_TRUE(check_key(r, run_parameters(static_cast<int>(params.size()), argv.data()), salt, key));
  return key;
}

TEST(CheckKey, FollowsWhatDecodingUses) {
  TempDir dir;
  const std::string conf = dir.file("conf"), other = dir.file("other");
  write_file(conf, "confirmacion");
  write_file(other, "confirmacioN");
  const KeyRecord r = sample_record("uno");
  const crypto::HashValue plain = key_for(r, {});

  // Alike: "0" is absent; a triple whose last given member is "0" is left
  // out whatever its other members say; a confirmation file that does not
  // open is no confirmation file.
  EXPECT_EQ(key_for(r, {"0", "0", "0"}), plain);
  EXPECT_EQ(key_for(r, {dir.file("missing")}), plain);
  EXPECT_EQ(key_for(r, {"0", "0", "0", "0", "0", "0", "0", "0", "0", "a", "b", "0"}),
            key_for(r, {"0", "0", "0", "0", "0", "0", "0", "0", "0", "x", "0"}));

  // Apart: each of these decodes differently.
  EXPECT_NE(key_for(r, {"0", "texto"}), plain);
  EXPECT_NE(key_for(r, {"0", "0", "texto"}), key_for(r, {"0", "texto"}));
  EXPECT_NE(key_for(r, {"0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0"}), plain);  // pass 9 out
  EXPECT_NE(key_for(r, {conf}), plain);
  EXPECT_NE(key_for(r, {conf}), key_for(r, {other}));
  EXPECT_NE(key_for(sample_record("uno", 1), {}), plain);
}

}  // namespace
}  // namespace qvx
