#include "tree/listing_source.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_file_system.h"

namespace quern {
namespace {

TEST(ListingSource, AnOwnerIsAFieldBetweenSizeAndPathWhereOnlyItsRemovalLeavesAPathOfTheRoot) {
  const struct {
    const char* record;
    const char* root;
    bool owner;
  } cases[] = {
      {"d 0 r", "r", false},
      {"d 0 1000 r", "r", true},
      {"f 5 alice r/a b", "r", true},
      {"f 5 r/a b", "r", false},
      {"f 5 r2 r", "r", true},
      {"f 5 1000 /elsewhere", "r", false},
      {"f 5  r/a", "r", false},
      {"f 5 1000r/a", "r", false},
      {"f x 1000 r", "r", false},
      {"f 1000 r", "r", false},
      {"d 0 /", "", false},
      {"d 0 0 /", "", true},
      {"d 0 my data/x", "my data", false},
      {"d 0 me my data/x", "my data", true},
      {"d 0 domain users r", "r", true},
      {"d 0 domain users /", "", true},
      {"f 5 domain users r2/x", "r", false},
  };
  for (const auto& c : cases) EXPECT_EQ(names_owner(c.record, c.root), c.owner) << c.record;
}

// Opens the listing of root "r" that the fake file system holds as "list".
opened_listing open(fake_file_system& files, const std::string& path = "list", char terminator = '\0',
                    size_t longest_record = 64) {
  return open_listing({path, terminator}, "r//", files, longest_record);
}

std::string read_all(input_file& input, status& ended) {
  std::string text;
  char buffer[5];
  size_t got = 0;
  while ((ended = input.read(buffer, sizeof buffer, got)).is_ok() && got > 0) text.append(buffer, got);
  return text;
}

TEST(ListingSource, TheFirstRecordTellsAndEverythingReadToDecideIsReadAgainWhateverTheChunks) {
  const std::string listing("d 0 1000 r\0f 1 1000 r/f\0", 24);
  for (const size_t chunk : {size_t{1}, size_t{3}, SIZE_MAX}) {
    fake_file_system files;
    files.inputs["list"] = {.bytes = listing, .chunk = chunk};
    files.standard_input_bytes = {.bytes = "d 0 r\nf 1 r/f\n", .chunk = chunk};
    opened_listing named = open(files);
    EXPECT_EQ(named.owner_field, std::optional<bool>(true));
    status ended;
    EXPECT_EQ(read_all(*named.input, ended), listing);
    EXPECT_TRUE(ended.is_ok());
    opened_listing unnamed = open(files, "-", '\n');
    EXPECT_EQ(unnamed.owner_field, std::optional<bool>(false));
    EXPECT_EQ(read_all(*unnamed.input, ended), "d 0 r\nf 1 r/f\n");
  }
}

TEST(ListingSource, WithoutAWholeFirstRecordNothingIsToldAndFailuresComeAfterWhatWasRead) {
  fake_file_system files;
  files.inputs["empty"] = {};
  files.inputs["broken"] = {.bytes = std::string("d 0 1000 r/long name", 20), .breaks_after = 8, .read_error = EIO};
  files.inputs["long"] = {.bytes = std::string("d 0 1000 r/") + std::string(60, 'n') + '\0'};
  files.inputs["locked"] = {.open_error = EACCES};
  status ended;
  opened_listing empty = open(files, "empty");
  EXPECT_FALSE(empty.owner_field.has_value());
  EXPECT_TRUE(empty.ended_before_record);
  EXPECT_EQ(read_all(*empty.input, ended), "");
  opened_listing broken = open(files, "broken");
  EXPECT_FALSE(broken.owner_field.has_value());
  EXPECT_EQ(broken.first_read.error_number(), EIO);
  EXPECT_EQ(read_all(*broken.input, ended), "d 0 1000");
  EXPECT_EQ(ended.error_number(), EIO);
  opened_listing longer = open(files, "long");
  EXPECT_FALSE(longer.owner_field.has_value());
  EXPECT_FALSE(longer.ended_before_record);
  EXPECT_EQ(read_all(*longer.input, ended), files.inputs["long"].bytes);
  opened_listing locked = open(files, "locked");
  EXPECT_EQ(locked.input, nullptr);
  EXPECT_EQ(locked.opened.error_number(), EACCES);
}

}  // namespace
}  // namespace quern
