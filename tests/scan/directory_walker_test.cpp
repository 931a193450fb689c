// The folder walk: order, patterns, duplicates, subfolders, cancel and links.
#include "scan/directory_walker.h"

#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct PatternCase {
  std::string pattern, name;
  bool matches;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, GlobIgnoringCase) {
  EXPECT_EQ(matchesPattern(GetParam().pattern, GetParam().name), GetParam().matches)
      << GetParam().pattern << " ~ " << GetParam().name;
  // The walk's own test, sorted once per walk, says the same.
  platform::DirEntry entry;
  entry.name = GetParam().name;
  EXPECT_EQ(DirectoryWalker::Pattern::of(GetParam().pattern).matches(entry), GetParam().matches)
      << GetParam().pattern << " ~ " << GetParam().name << " (the walk's test)";
}

INSTANTIATE_TEST_SUITE_P(
    Names, PatternTest,
    ::testing::Values(PatternCase{"*.exe", "setup.exe", true},
                      PatternCase{"*.exe", "SETUP.EXE", true},
                      PatternCase{"*.exe", "setup.exe.txt", false},
                      PatternCase{"*.exe", ".exe", true}, PatternCase{"*.so.*", "libc.so.6", true},
                      PatternCase{"*.so.*", "libc.so", false}, PatternCase{"*.so", "libc.so", true},
                      PatternCase{"a*", "Abc", true}, PatternCase{"?.com", "x.com", true},
                      PatternCase{"?.com", "xy.com", false}, PatternCase{"*", "anything", true},
                      PatternCase{"*a*b", "xaxxb", true}, PatternCase{"*a*b", "xaxxbc", false},
                      PatternCase{"*.SO.*", "libx.so.1", true}, PatternCase{"*.so.*", ".so.", true},
                      PatternCase{"*.so.*", "x.so", false}, PatternCase{"**", "", true},
                      PatternCase{"*.exe", "exe", false}, PatternCase{"x*", "y", false},
                      PatternCase{"*?.dll", ".dll", false}, PatternCase{"*?.dll", "a.DLL", true}));

/// Records the walk's events.
class WalkTest : public ::testing::Test {
protected:
  platform::fake::MemoryFileSystem files;
  DirectoryWalker search{files};
  std::vector<std::string> events;

  void SetUp() override {
    search.searching = [this](const std::string& f) { events.push_back("enter " + f); };
    search.found = [this](const std::string& f, const std::string& n) {
      events.push_back("found " + f + n);
    };
    for (const char* folder : {"/t", "/t/b", "/t/a", "/t/a/deep", "/t/setup.exe", "/t/empty"})
      files.createDirectory(folder);
  }
};

TEST_F(WalkTest, FilesOfAFolderComeBeforeItsSubfoldersPatternByPattern) {
  files.put("/t/z.exe", "");
  files.put("/t/a.dll", "");
  files.put("/t/m.exe", "");
  files.put("/t/readme.txt", "");
  files.put("/t/a/x.exe", "");
  files.put("/t/a/deep/y.ocx", "");
  files.put("/t/b/w.bat", "");
  files.put("/t/setup.exe/inner.com", "");
  search.walk("/t", "*.exe|*.dll|*.bat|*.com|*.ocx");
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/m.exe", "found /t/z.exe", "found /t/a.dll",
                                  "enter /t/a/", "found /t/a/x.exe", "enter /t/a/deep/",
                                  "found /t/a/deep/y.ocx", "enter /t/b/", "found /t/b/w.bat",
                                  "enter /t/empty/", "enter /t/setup.exe/",
                                  "found /t/setup.exe/inner.com"));
  EXPECT_EQ(search.foundFiles().size(), 7u);
  EXPECT_TRUE(search.foundFiles().contains("/T/A/X.EXE"));
}

TEST_F(WalkTest, TrailingSeparatorAndNoSubfolders) {
  files.put("/t/one.exe", "");
  files.put("/t/a/two.exe", "");
  search.includeSubfolders = false;
  search.walk("/t/", "*.exe");
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/one.exe"));
}

TEST_F(WalkTest, AFileMatchedTwiceIsReportedOnceButCaseVariantsAreDifferentFiles) {
  files.put("/t/a1.exe", "");
  files.put("/t/A1.exe", "");
  search.includeSubfolders = false;
  search.walk("/t", "*.exe|a*|A*");
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/A1.exe", "found /t/a1.exe"));
}

TEST_F(WalkTest, ProgramsWithoutExtensionAreFoundByModeOrMagic) {
  files.put("/t/tool", "#!/bin/sh\n", /*executable=*/true);
  files.put("/t/elfblob", std::string("\x7f"
                                      "ELF\x02\x01",
                                      6));
  files.put("/t/notes", "text");
  files.put("/t/libz.so.1", "");
  files.put("/t/rootkit.ko", ""); // a kernel module
  files.put("/t/hidden.dat", std::string("\x7f"
                                         "ELF\x02\x01",
                                         6)); // named like data
  files.put("/t/.elfrc", std::string("\x7f"
                                     "ELF\x02\x01",
                                     6)); // a dot file: no extension
  search.includeSubfolders = false;
  search.walk("/t", kFolderScanPatterns);
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/libz.so.1", "found /t/rootkit.ko",
                                  "found /t/.elfrc", "found /t/elfblob", "found /t/tool"));
  EXPECT_EQ(files.headsRead, 3) << ".elfrc, elfblob and notes: not the named or executable ones";

  // A size no key carries: the file is not opened for its magic, and so is no program; names
  // and modes still say what they say.
  events.clear();
  std::vector<std::uint64_t> asked;
  search.worthOpening = [&](std::uint64_t size) {
    asked.push_back(size);
    return false;
  };
  search.walk("/t", kFolderScanPatterns);
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/libz.so.1", "found /t/rootkit.ko",
                                  "found /t/tool"));
  EXPECT_THAT(asked, ElementsAre(6u, 6u, 4u)) << ".elfrc, elfblob and notes, before any open";
  EXPECT_EQ(files.headsRead, 3) << "no file was opened by the second walk";
}

/// A tree of folders with files at every level, for comparing walks.
void plantTree(platform::fake::MemoryFileSystem& files, const std::string& root, int depth) {
  files.createDirectory(root);
  files.put(root + "/x.exe", "");
  files.put(root + "/x.txt", "");
  if (depth == 0)
    return;
  for (const char* sub : {"a", "b", "c", "d", "e", "f"})
    plantTree(files, root + "/" + sub, depth - 1);
}

TEST_F(WalkTest, FoldersListedAheadGiveTheSameWalk) {
  plantTree(files, "/t/tree", 3);
  std::vector<std::vector<std::string>> walks;
  for (unsigned threads : {0u, 1u, 3u}) {
    events.clear();
    search.listingThreads = threads;
    search.walk("/t/tree", "*.exe");
    walks.push_back(events);
  }
  EXPECT_EQ(walks[0].size(), 2u * (1 + 6 + 36 + 216));
  EXPECT_EQ(walks[1], walks[0]);
  EXPECT_EQ(walks[2], walks[0]);

  // Cancelled with listings still on their way: the walk ends, and the next one is whole.
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
    if (events.size() > 40)
      search.cancel();
  };
  events.clear();
  search.walk("/t/tree", "*.exe");
  EXPECT_LT(events.size(), 50u);
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
  };
  events.clear();
  search.walk("/t/tree", "*.exe");
  EXPECT_EQ(events, walks[0]);
}

TEST_F(WalkTest, CancelStopsTheWalkUntilTheNextOne) {
  for (const char* f : {"/t/1.exe", "/t/2.exe", "/t/3.exe", "/t/a/4.exe"})
    files.put(f, "");
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
    search.cancel();
  };
  search.walk("/t", "*.exe");
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/1.exe"));
  events.clear();
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
  };
  search.walk("/t/a", "*.exe");
  EXPECT_THAT(events, ElementsAre("enter /t/a/", "found /t/a/4.exe", "enter /t/a/deep/"));
}

TEST_F(WalkTest, AMissingFolderIsEnteredAndGivesNothing) {
  search.walk("/nowhere", "*.exe");
  EXPECT_THAT(events, ElementsAre("enter /nowhere/"));
  EXPECT_EQ(search.foundFiles().size(), 0u);
}

TEST_F(WalkTest, PauseHoldsTheWalkUntilResumed) {
  files.put("/t/1.exe", "");
  files.put("/t/2.exe", "");
  search.includeSubfolders = false;
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
    search.setPause(true);
  };
  std::thread walker([&] { search.walk("/t", "*.exe"); });
  for (int i = 0; i < 5000 && !search.pause(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(search.pause()) << "the walk never reached its first file";
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(events.size(), 2u); // held after the first file
  search.found = [this](const std::string& f, const std::string& n) {
    events.push_back("found " + f + n);
  };
  search.setPause(false);
  walker.join();
  EXPECT_THAT(events, ElementsAre("enter /t/", "found /t/1.exe", "found /t/2.exe"));
}

TEST(RealWalkTest, LinksAreNotFollowedSoLoopsEnd) {
  testing::TempDir dir;
  dir.write("top/a.exe", "");
  dir.write("top/sub/b.exe", "");
  std::filesystem::create_directory_symlink(dir / "top", dir / "top/sub/loop");
  std::filesystem::create_symlink(dir / "top/a.exe", dir / "top/sub/link.exe");
  platform::LinuxFileSystem files;
  DirectoryWalker search(files);
  search.walk(dir / "top", "*.exe");
  EXPECT_THAT(search.foundFiles().paths(), ElementsAre(dir / "top/a.exe", dir / "top/sub/b.exe"));
}

} // namespace
} // namespace quorvane::scan
