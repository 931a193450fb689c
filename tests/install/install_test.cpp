// What a user installs, tried as a new, unprivileged user would: an install into a temporary
// prefix (cmake --install) and the Debian package unpacked into a temporary root (cpack, then
// dpkg-deb -x). Run as root, the programs run as the user "nobody" (65534) with a home of the
// test's own; run as anyone else, as that user.
#include "support/run_cli.h"
#include "support/virtual_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr uid_t kNobody = 65534;

bool asRoot() { return ::geteuid() == 0; }

/// A home folder for the user the programs run as.
class UserHome {
public:
  UserHome() {
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    if (asRoot())
      if (::chown(dir_.path().c_str(), kNobody, kNobody) != 0)
        throw std::runtime_error("chown failed");
  }
  const TempDir& dir() const { return dir_; }
  std::string path() const { return dir_.path(); }
  /// A file the user owns.
  std::string write(const std::string& name, const std::string& content) const {
    std::string full = dir_.write(name, content);
    if (asRoot())
      for (fs::path p = full; p != fs::path(dir_.path()); p = p.parent_path())
        if (::chown(p.c_str(), kNobody, kNobody) != 0)
          throw std::runtime_error("chown failed");
    return full;
  }

private:
  TempDir dir_;
};

/// The words that start a program as the test's user, with a clean environment.
std::vector<std::string> asUser(const UserHome& home, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> words;
  if (asRoot())
    words = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  words.insert(words.end(), {"/usr/bin/env", "-i", "HOME=" + home.path(), "PATH=/usr/bin:/bin",
                             "LANG=C.UTF-8",
                             // Sanitizer builds: leaks of system libraries are not ours.
                             "LSAN_OPTIONS=suppressions=" QUORVANE_TESTS_DIR "/support/lsan.supp"});
  words.insert(words.end(), extra.begin(), extra.end());
  return words;
}

std::string commandLine(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words)
    line += (line.empty() ? "" : " ") + shellQuote(word);
  return line;
}

/// An install tree the test's user may read and run: `root` + `prefix`.
class InstallTest : public ::testing::Test {
protected:
  TempDir root;
  UserHome home;
  void SetUp() override {
    fs::permissions(root.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
  }

  /// The checks every way of installing must pass; `bin` holds the installed programs.
  void triedAsANewUser(const std::string& bin) {
    SCOPED_TRACE(bin);
    std::string threat = home.write("downloads/eicar.com", eicarText());
    CliResult scanned = runCommandLine(
        commandLine(asUser(home, {bin + "/quorvane", "scan", home.path() + "/downloads"})));
    EXPECT_EQ(scanned.status, 1) << scanned.out << scanned.err;
    EXPECT_THAT(scanned.out, HasSubstr(threat + ": Quorvane.Threat FOUND"));
    // The record lands in the user's own folder, made private and seeded from the install.
    std::string folder = home.path() + "/.local/share/quorvane";
    EXPECT_THAT(home.dir().read(".local/share/quorvane/threatlog.sig"), HasSubstr(threat));
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(folder + "/lang/english.ini"));
    CliResult paths = runCommandLine(commandLine(asUser(home, {bin + "/quorvane", "paths"})));
    EXPECT_THAT(paths.out, HasSubstr("application folder: " + folder + " (this user's data folder)"));

    // The desktop program, silent start: it comes up, stays up and ends cleanly when asked.
    VirtualDisplay display(/*anyLocalUser=*/true);
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    OwnChild window(asUser(home, {"DISPLAY=" + display.name(), bin + "/quorvaneam", "s"}), {},
                    home.path() + "/quorvaneam.err");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(window.running()) << home.dir().read("quorvaneam.err");
    int status = window.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "wait status " << status << ": " << home.dir().read("quorvaneam.err");
  }
};

TEST_F(InstallTest, AnInstallIntoAPrefixWorksForAnUnprivilegedUser) {
  std::string prefix = root / "prefix";
  CliResult installed = runCommandLine("cmake --install " + shellQuote(QUORVANE_BUILD_DIR) +
                                       " --prefix " + shellQuote(prefix));
  ASSERT_EQ(installed.status, 0) << installed.err;
  EXPECT_TRUE(fs::exists(prefix + "/share/quorvane/vir.sig"));
  EXPECT_FALSE(fs::exists(prefix + "/bin/vir.sig")) << "data files go to share/";
  EXPECT_TRUE(fs::exists(prefix + "/share/man/man1/quorvane.1.gz"));
  // Moved elsewhere, it still finds its data: the install is relocatable.
  fs::rename(prefix, root / "moved");
  triedAsANewUser(root / "moved/bin");
}

TEST_F(InstallTest, TheDebianPackageInstallsWhatAUserNeedsAndLintianFindsNoError) {
  TempDir out;
  CliResult packed =
      runCommandLine("cpack -G DEB --config " +
                     shellQuote(std::string(QUORVANE_BUILD_DIR) + "/CPackConfig.cmake") + " -B " +
                     shellQuote(out.path()));
  ASSERT_EQ(packed.status, 0) << packed.out << packed.err;
  std::string deb;
  for (const auto& entry : fs::directory_iterator(out.path()))
    if (entry.path().extension() == ".deb")
      deb = entry.path();
  ASSERT_THAT(deb, HasSubstr("quorvane_")) << packed.out;
  EXPECT_THAT(runCommandLine("dpkg-deb -f " + shellQuote(deb) + " Depends").out,
              HasSubstr("libqt6widgets6"));
  CliResult lint = runCommandLine("lintian --no-tag-display-limit " + shellQuote(deb));
  EXPECT_THAT(lint.out + lint.err, ::testing::Not(HasSubstr("E: "))) << lint.out << lint.err;

  ASSERT_EQ(
      runCommandLine("dpkg-deb -x " + shellQuote(deb) + " " + shellQuote(root / "sysroot")).status,
      0);
  EXPECT_TRUE(fs::exists(root / "sysroot/usr/lib/systemd/system/quorvane-monitor.service"));
  EXPECT_THAT(root.read("sysroot/usr/lib/systemd/system/quorvane-monitor.service"),
              HasSubstr("ExecStart=/usr/bin/quorvane --home /var/lib/quorvane monitor --block "
                        "--state-file /run/quorvane/guard.state"));
  triedAsANewUser(root / "sysroot/usr/bin");
}

} // namespace
} // namespace quorvane::testing
