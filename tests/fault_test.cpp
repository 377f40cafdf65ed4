// Faults from outside the program: a folder that refuses the settings file, a
// full disk, hostile settings files, and a server that cannot start or dies.
// The program must go on, keep what was saved before and tell the user.
#include <fcntl.h>
#include <linux/fs.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/fakes.h"
#include "support/headless_binding.h"
#include "support/monitor_harness.h"
#include "support/posix_net.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::AllChildrenEnded;
using testing_support::Children;
using testing_support::Ended;
using testing_support::FakeProcesses;
using testing_support::FreePort;
using testing_support::KillAndReap;
using testing_support::Listener;
using testing_support::TempDir;

constexpr char kCfg[] = "Dravelo_WEB_MONITOR.CFG";
constexpr char kCfgTmp[] = "Dravelo_WEB_MONITOR.CFG.tmp";
constexpr char kPhp[] = "/usr/bin/php";
constexpr char kPage[] = "dravelo fault test page";
const std::string kOldSettings = " 2 \r\n 0 \r\n 0 \r\n 8088 \r\n\r\n\r\n\r\n\r\n\r\n\r\n";

// The listeners of these tests are this process's own.
std::string ByUs() { return " by fault_test (process " + std::to_string(getpid()) + ")."; }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

std::string Errno(int e) { return std::strerror(e); }

// The program on the real process backend in a throwaway installation folder. The
// folder is a subfolder of the temporary root, so a mount or a flag on it never
// touches the root.
struct Installation : testing_support::MonitorHarness {
  explicit Installation(platform::Processes& p) {
    launcher = &p;
    pause = app::Environment::SleepFor;
    folder = dir / "Jürgen";  // a user's name with an umlaut
    fs::create_directory(folder);
  }
};

std::string Panel(const ui::MainWindow& w) {
  const bool start = w.StartButton.Enabled(), stop = w.StopButton.Enabled(), port = w.TCP.Enabled();
  if (start && !stop && port) return "Stopped";
  if (!start && stop && !port) return "Running";
  return "mixed";
}

// ---- Folders that refuse the settings file ----

// Mounts made by this process stay in a namespace of its own where the system
// allows it, so that even a crash leaves none behind on the machine.
void UsePrivateMounts() {
  static const bool done =
      unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  (void)done;
}

class ScopedMount {
 public:
  explicit ScopedMount(fs::path target) : target_(std::move(target)) {}
  ~ScopedMount() {
    if (mounted_) umount2(target_.c_str(), MNT_DETACH);
  }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  bool Mount(const char* source, const char* type, unsigned long flags, const char* data) {
    if (mount(source, target_.c_str(), type, flags, data) != 0) return false;
    mounted_ = true;
    return true;
  }

 private:
  fs::path target_;
  bool mounted_ = false;
};

// The immutable attribute (chattr +i) on a folder, cleared again at the end.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const fs::path& dir)
      : fd_(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~ImmutableFolder() {
    if (set_) Change(false);
    if (fd_ >= 0) close(fd_);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;

  bool Set() { return set_ = Change(true); }

 private:
  bool Change(bool on) {
    int flags = 0;
    if (fd_ < 0 || ioctl(fd_, FS_IOC_GETFLAGS, &flags) != 0) return false;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    return ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
  }

  int fd_;
  bool set_ = false;
};

class ScopedMode {
 public:
  ScopedMode(fs::path dir, fs::perms perms) : dir_(std::move(dir)) { fs::permissions(dir_, perms); }
  ~ScopedMode() {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
  }
  ScopedMode(const ScopedMode&) = delete;
  ScopedMode& operator=(const ScopedMode&) = delete;

 private:
  fs::path dir_;
};

// What a fault did to the folder, undone when it goes.
struct Breakage {
  std::string skip;         // non-empty: the fault cannot be made on this machine
  int reason = 0;           // the errno the save then fails with
  std::string reason_text;  // or the reason given instead of an errno's
  std::unique_ptr<ScopedMount> mount;
  std::unique_ptr<ImmutableFolder> immutable;
  std::unique_ptr<ScopedMode> mode;
};

Breakage Skip(const std::string& why) {
  Breakage b;
  b.skip = why;
  return b;
}

Breakage ReadOnlyFolder(const fs::path& dir, const std::string& old) {
  if (!old.empty()) WriteFile(dir / kCfg, old);
  Breakage b;
  if (geteuid() != 0) {
    b.mode = std::make_unique<ScopedMode>(dir, fs::perms(0555));
    b.reason = EACCES;
    return b;
  }
  // Root passes over permission bits, not over a read-only mount.
  UsePrivateMounts();
  b.mount = std::make_unique<ScopedMount>(dir);
  if (!b.mount->Mount(dir.c_str(), nullptr, MS_BIND, nullptr))
    return Skip("running as root, and a bind mount is refused here: " + Errno(errno));
  if (!b.mount->Mount(nullptr, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr))
    return Skip("running as root, and a read-only remount is refused here: " + Errno(errno));
  b.reason = EROFS;
  return b;
}

Breakage ImmutableSettingsFolder(const fs::path& dir, const std::string& old) {
  WriteFile(dir / kCfg, old);
  Breakage b;
  b.immutable = std::make_unique<ImmutableFolder>(dir);
  if (!b.immutable->Set())
    return Skip("the immutable attribute cannot be set here: " + Errno(errno));
  b.reason = EPERM;
  return b;
}

Breakage FullDisk(const fs::path& dir, const std::string& old) {
  UsePrivateMounts();
  Breakage b;
  b.mount = std::make_unique<ScopedMount>(dir);
  if (!b.mount->Mount("tmpfs", "tmpfs", 0, "size=8k,mode=0755"))
    return Skip("a small tmpfs cannot be mounted here: " + Errno(errno));
  if (!WriteFile(dir / kCfg, old)) return Skip("the tiny disk does not take the settings file");
  // Fill what is left, a page at a time, until the file system says it is full.
  const int fd = open((dir / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  const std::string page(4096, 'x');
  int last = 0;
  while (fd >= 0) {
    if (write(fd, page.data(), page.size()) < 0) {
      last = errno;
      break;
    }
  }
  if (fd >= 0) close(fd);
  if (last != ENOSPC) return Skip("the tiny disk did not fill up: " + Errno(last));
  b.reason = ENOSPC;
  return b;
}

// Marked read-only by its owner: left alone, and the user is told why.
Breakage ReadOnlySettingsFile(const fs::path& dir, const std::string& old) {
  WriteFile(dir / kCfg, old);
  Breakage b;
  b.mode = std::make_unique<ScopedMode>(dir / kCfg, fs::perms(0444));
  b.reason_text = platform::kReadOnlyReason;
  return b;
}

Breakage SettingsFileIsAFolder(const fs::path& dir, const std::string&) {
  fs::create_directory(dir / kCfg);
  Breakage b;
  b.reason = EISDIR;
  return b;
}

struct SaveFault {
  const char* name;
  Breakage (*make)(const fs::path& dir, const std::string& old);
  bool earlier_file;  // a settings file was saved before the fault
};

void PrintTo(const SaveFault& fault, std::ostream* os) { *os << fault.name; }

class SaveFaultTest : public ::testing::TestWithParam<SaveFault> {};

TEST_P(SaveFaultTest, WindowKeepsWorkingTheEarlierFileSurvivesAndTheUserIsTold) {
  const SaveFault& fault = GetParam();
  FakeProcesses processes;
  Installation h(processes);
  const Breakage broken = fault.make(h.folder, fault.earlier_file ? kOldSettings : "");
  if (!broken.skip.empty()) GTEST_SKIP() << broken.skip;

  app::Monitor& m = h.Make();
  std::string port_shown, panel_running, panel_stopped;
  h.binding.Script({[&] {
                      port_shown = h.Main().TCP.Text();
                      h.Main().TCP.UserEdited("8090");
                      h.Main().StartButton.UserClicked();
                    },
                    [&] {
                      h.binding.Advance(500);
                      panel_running = Panel(h.Main());
                      h.Main().StopButton.UserClicked();
                    },
                    [&] {
                      h.binding.Advance(500);
                      panel_stopped = Panel(h.Main());
                      h.Main().StartButton.UserClicked();
                    },
                    [&] { h.Main().Quit.UserClicked(); }});
  m.Run();

  EXPECT_EQ(port_shown, fault.earlier_file ? "8088" : "80");
  EXPECT_EQ(panel_running, "Running");
  EXPECT_EQ(panel_stopped, "Stopped");
  EXPECT_TRUE(h.binding.Ended());
  EXPECT_FALSE(h.Main().Loaded());
  EXPECT_EQ(processes.launched.size(), 2u);
  EXPECT_EQ(processes.Running(), 0) << "Quit stops the server although the save failed";
  EXPECT_TRUE(h.area.icons.empty());

  // Shutdown runs twice (Quit, then the window's destruction); the user is told once.
  ASSERT_EQ(h.binding.messages.size(), 1u);
  const testing_support::ShownMessage& shown = h.binding.messages[0];
  EXPECT_EQ(shown.text,
            "Unable to save the settings to " + (h.folder / kCfg).string() + ".\r\n" +
                (broken.reason_text.empty() ? Errno(broken.reason) : broken.reason_text));
  EXPECT_EQ(shown.caption, "Dravelo_WEB_Monitor");
  EXPECT_EQ(shown.icon, ui::MessageIcon::Warning);

  if (broken.reason == EISDIR)
    EXPECT_TRUE(fs::is_directory(h.folder / kCfg));
  else if (fault.earlier_file)
    EXPECT_EQ(ReadFile(h.folder / kCfg), kOldSettings) << "the earlier settings were damaged";
  else
    EXPECT_FALSE(fs::exists(h.folder / kCfg));
  EXPECT_FALSE(fs::exists(h.folder / kCfgTmp)) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Folders, SaveFaultTest,
    ::testing::Values(SaveFault{"ReadOnlyFolder", ReadOnlyFolder, true},
                      SaveFault{"ReadOnlyFolderWithoutSettings", ReadOnlyFolder, false},
                      SaveFault{"ImmutableFolder", ImmutableSettingsFolder, true},
                      SaveFault{"FullDisk", FullDisk, true},
                      SaveFault{"ReadOnlySettingsFile", ReadOnlySettingsFile, true},
                      SaveFault{"SettingsFileIsAFolder", SettingsFileIsAFolder, false}),
    [](const ::testing::TestParamInfo<SaveFault>& info) { return std::string(info.param.name); });

// ---- Hostile settings files ----

// Checks that `bytes` is a settings file as this program writes it, holding `g`'s values.
void ExpectWrittenSettings(const std::string& bytes, const GlobalVariables& g) {
  std::vector<std::string> lines;
  size_t pos = 0;
  for (size_t end; (end = bytes.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(bytes.substr(pos, end - pos));
  EXPECT_EQ(pos, bytes.size()) << "bytes after the last CR LF";
  ASSERT_EQ(lines.size(), 10u);
  const std::regex number("[ -][0-9]+ ");
  const long values[] = {g.LanguageIndex, g.StartMinimized, g.StartAutomatically, g.ServerPort};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(std::regex_match(lines[i], number)) << "line " << i + 1 << ": " << lines[i];
    EXPECT_EQ(std::stol(lines[i]), values[i]) << "line " << i + 1;
  }
  for (int i = 4; i < 10; ++i) EXPECT_EQ(lines[i], "") << "line " << i + 1;
}

// Start-up on `bytes`, then Start, a tick, Stop, a tick and Quit: the window
// must act throughout and nothing may be reported.
void RunOnSettings(const std::string& bytes, Installation& h, FakeProcesses& processes) {
  ASSERT_TRUE(WriteFile(h.folder / kCfg, bytes));
  app::Monitor& m = h.Make();
  std::string running, stopped;
  h.binding.Script({[&] { h.Main().StartButton.UserClicked(); },
                    [&] {
                      h.binding.Advance(500);
                      running = Panel(h.Main());
                      h.Main().StopButton.UserClicked();
                    },
                    [&] {
                      h.binding.Advance(500);
                      stopped = Panel(h.Main());
                      h.Main().Quit.UserClicked();
                    }});
  ASSERT_NO_THROW(m.Run());
  EXPECT_TRUE(h.binding.Ended());
  EXPECT_EQ(running, "Running");
  EXPECT_EQ(stopped, "Stopped");
  EXPECT_EQ(processes.launched.size(), 1u);
  EXPECT_EQ(processes.Running(), 0);
  EXPECT_TRUE(h.binding.messages.empty());
  ExpectWrittenSettings(ReadFile(h.folder / kCfg), h.G());
}

constexpr size_t kTenMegabytes = 10u << 20;

struct HostileFile {
  const char* name;
  std::function<std::string()> bytes;
  // What the program then holds and writes at Quit.
  int16_t language, minimised, automatic;
  int32_t port;
};

TEST(SettingsContentFaultTest, HostileFilesLoadWhatCanBeReadAndQuitRewritesThem) {
  using namespace std::string_literals;
  const HostileFile cases[] = {
      {"NULs before the numbers", [] { return "\0\0 7 \r\n\0 1\r\n"s; }, 0, 0, 0, 80},
      {"CR without LF", [] { return " 2 \r 1 \r 0 \r 8081 \r"s; }, 2, 1, 0, 8081},
      {"LF without CR is one line", [] { return "1\n0\n0\n80\n"s; }, 1, 0, 0, 80},
      {"values beyond the fields",
       [] { return "1e99999999999999999999\r\n70000\r\n-1e999\r\n99999999999999999999\r\n"s; }, 1,
       0, 0, 80},
      {"signs and points without digits", [] { return "-\r\n.\r\ne5\r\n1e-99999\r\n"s; }, 0, 0, 0,
       0},
      {"values the controls refuse", [] { return " 3 \r\n 2 \r\n 5 \r\n -1 \r\n"s; }, 1, 0, 0, -1},
      // Only the first 64 KiB are read: all of them line one, whose number does not fit.
      {"10 MB of digits on line one",
       [] { return std::string(kTenMegabytes, '7') + "\r\n 0 \r\n 1 \r\n 8082 \r\n"; }, 1, 0, 0,
       80},
      {"10 MB of lines",
       [] {
         std::string s = " 2 \r\n 0 \r\n 0 \r\n 8083 \r\n";
         while (s.size() < kTenMegabytes) s += " 9 \r\n";
         return s;
       },
       2, 0, 0, 8083},
      {"10 MB of NULs", [] { return std::string(kTenMegabytes, '\0'); }, 0, 0, 0, 80},
  };
  for (const HostileFile& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProcesses processes;
    Installation h(processes);
    RunOnSettings(c.bytes(), h, processes);
    EXPECT_EQ(h.G().LanguageIndex, c.language);
    EXPECT_EQ(h.G().StartMinimized, c.minimised);
    EXPECT_EQ(h.G().StartAutomatically, c.automatic);
    EXPECT_EQ(h.G().ServerPort, c.port);
  }
}

TEST(SettingsContentFaultTest, RandomBytesNeverStopTheProgram) {
  const std::string digits = "0123456789", marks = " -+.eE\t";
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> percent(0, 99), byte(0, 255);
    std::string bytes(std::uniform_int_distribution<size_t>(0, 400)(random), '\0');
    for (char& c : bytes) {
      const int p = percent(random);
      if (p < 30)
        c = digits[random() % digits.size()];
      else if (p < 45)
        c = '\r';
      else if (p < 50)
        c = '\n';
      else if (p < 60)
        c = '\0';
      else if (p < 70)
        c = marks[random() % marks.size()];
      else
        c = static_cast<char>(byte(random));
    }
    FakeProcesses processes;
    Installation h(processes);
    RunOnSettings(bytes, h, processes);
    // Whatever line one held, the language list leaves no selection or one of its two.
    EXPECT_GE(h.G().LanguageIndex, 0);
    EXPECT_LE(h.G().LanguageIndex, 2);
  }
}

// ---- The real server ----

// Polls for the test page.
bool ServesPage(int port) { return testing_support::ServesPage(port, kPage, 200, 10ms); }

// Polls for about five seconds.
bool WaitUntil(const std::function<bool()>& done) {
  return testing_support::WaitUntil(done, 501, 10ms);
}

// An installation with Debian's PHP as php/php, a page to serve and `port` in its settings.
void ProvidePhp(Installation& h, int port, int automatic = 0) {
  fs::create_directories(h.folder / "php/www/public");
  fs::create_symlink(kPhp, h.folder / "php/php");
  WriteFile(h.folder / "php/www/public/index.html", std::string("<p>") + kPage + "</p>\n");
  WriteFile(h.folder / kCfg, " 1 \r\n 0 \r\n " + std::to_string(automatic) + " \r\n " +
                                 std::to_string(port) + " \r\n");
}

class RealServerFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kPhp)) GTEST_SKIP() << kPhp << " is not installed";
    port_ = FreePort();
    ASSERT_NE(port_, 0);
  }
  // Whatever a failing case left: every child of this process is one of ours.
  void TearDown() override {
    for (pid_t pid : Children()) KillAndReap(pid);
  }

  // Start through the window, then the page and, after a tick, the Running panel.
  void StartAndSeeRunning(Installation& h) {
    h.Main().StartButton.UserClicked();
    ASSERT_NE(h.G().ServerPid, 0);
    EXPECT_TRUE(ServesPage(port_));
    h.binding.Advance(500);
    EXPECT_EQ(Panel(h.Main()), "Running");
  }

  // Quit; the server, if any, must have ended.
  void QuitAndSeeNothingRunning(Installation& h) {
    h.Main().Quit.UserClicked();
    EXPECT_FALSE(h.Main().Loaded());
    EXPECT_TRUE(WaitUntil(AllChildrenEnded)) << "a server outlived Quit";
    // The program ends after Quit, which reaps its ended server; here the test does.
    for (pid_t pid : Children()) waitpid(pid, nullptr, 0);
  }

  std::unique_ptr<platform::Processes> processes_ = platform::MakeProcesses();
  int port_ = 0;
};

TEST_F(RealServerFaultTest, AStartThatCannotLaunchWarnsLeavesStoppedAndALaterStartWorks) {
  Listener holder;
  struct Refusal {
    const char* name;
    std::function<void(Installation&)> make, repair;
    std::string message;
  };
  const Refusal cases[] = {
      {"interpreter missing", [](Installation& h) { fs::remove(h.folder / "php/php"); },
       [](Installation& h) { fs::create_symlink(kPhp, h.folder / "php/php"); },
       "Unable to start Webserver.\r\n" + Errno(ENOENT)},
      {"interpreter not executable",
       [](Installation& h) {
         fs::remove(h.folder / "php/php");
         WriteFile(h.folder / "php/php", "#!/bin/sh\n");
         fs::permissions(h.folder / "php/php", fs::perms(0644));
       },
       [](Installation& h) {
         fs::remove(h.folder / "php/php");
         fs::create_symlink(kPhp, h.folder / "php/php");
       },
       "Unable to start Webserver.\r\n" + Errno(EACCES)},
      {"port in use", [&](Installation&) { ASSERT_EQ(holder.Listen(port_), port_); },
       [&](Installation&) { holder.Close(); },
       "TCP port " + std::to_string(port_) + " is already in use" + ByUs()},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    Installation h(*processes_);
    ProvidePhp(h, port_);
    c.make(h);
    h.StartOnly();

    h.Main().StartButton.UserClicked();
    EXPECT_EQ(h.G().ServerPid, 0);
    EXPECT_TRUE(Children().empty()) << "something was launched";
    ASSERT_EQ(h.binding.messages.size(), 1u);
    EXPECT_EQ(h.binding.messages[0].text, c.message);
    EXPECT_EQ(h.binding.messages[0].icon, ui::MessageIcon::Warning);
    h.binding.Advance(1500);
    EXPECT_EQ(Panel(h.Main()), "Stopped");
    EXPECT_EQ(h.binding.messages.size(), 1u) << "the ticks must not retry or warn";

    c.repair(h);
    h.binding.messages.clear();
    StartAndSeeRunning(h);
    EXPECT_TRUE(h.binding.messages.empty());
    QuitAndSeeNothingRunning(h);
  }
}

TEST_F(RealServerFaultTest, AutomaticStartOnAPortInUseWarnsOnceAndIsNotRetried) {
  Listener holder;
  ASSERT_EQ(holder.Listen(port_), port_);
  Installation h(*processes_);
  ProvidePhp(h, port_, 1);
  h.StartOnly();
  h.binding.Advance(500);
  EXPECT_EQ(h.G().ServerPid, 0);
  EXPECT_EQ(h.G().AutoStartPending, 0);
  h.binding.Advance(2000);
  EXPECT_EQ(Panel(h.Main()), "Stopped");
  EXPECT_TRUE(Children().empty());
  ASSERT_EQ(h.binding.messages.size(), 1u);
  EXPECT_EQ(h.binding.messages[0].text,
            "TCP port " + std::to_string(port_) + " is already in use" + ByUs());

  holder.Close();
  StartAndSeeRunning(h);
  QuitAndSeeNothingRunning(h);
  EXPECT_EQ(ReadFile(h.folder / kCfg),
            " 1 \r\n 0 \r\n 1 \r\n " + std::to_string(port_) + " \r\n\r\n\r\n\r\n\r\n\r\n\r\n");
}

TEST_F(RealServerFaultTest, AServerThatEndsAtOnceOrIsKilledIsForgottenAtTheNextTick) {
  Installation h(*processes_);
  ProvidePhp(h, port_);
  // Without its document root PHP refuses to serve and exits at once.
  fs::rename(h.folder / "php/www", h.folder / "php/www-away");
  h.StartOnly();

  h.Main().StartButton.UserClicked();
  const pid_t doomed = h.G().ServerPid;
  ASSERT_NE(doomed, 0);
  ASSERT_TRUE(WaitUntil([&] { return Ended(doomed); })) << "PHP without a document root ran on";
  h.binding.Advance(500);
  EXPECT_EQ(Panel(h.Main()), "Stopped");
  EXPECT_EQ(h.G().ServerPid, 0);
  EXPECT_TRUE(Children().empty()) << "the tick did not reap the ended server";
  h.binding.Advance(1500);
  EXPECT_TRUE(Children().empty()) << "the ticks started another server";
  // PHP's own exit code and words, told once.
  ASSERT_EQ(h.binding.messages.size(), 1u);
  EXPECT_EQ(h.binding.messages[0].text,
            "The Webserver ended right after it was started (exit code 1):\r\n"
            "Directory php/www/public/ does not exist.");
  h.binding.messages.clear();

  fs::rename(h.folder / "php/www-away", h.folder / "php/www");
  StartAndSeeRunning(h);
  const pid_t victim = h.G().ServerPid;
  ASSERT_EQ(kill(victim, SIGKILL), 0);
  ASSERT_TRUE(WaitUntil([&] { return Ended(victim); }));
  h.binding.Advance(500);
  EXPECT_EQ(Panel(h.Main()), "Stopped");
  EXPECT_EQ(h.G().ServerPid, 0);
  EXPECT_TRUE(Children().empty());
  // Killed within its first seconds, it too ended right after its start: by a signal.
  ASSERT_EQ(h.binding.messages.size(), 1u);
  EXPECT_EQ(h.binding.messages[0].text.rfind(
                "The Webserver ended right after it was started (exit code 137):\r\n", 0),
            0u);
  EXPECT_NE(h.binding.messages[0].text.find("Development Server"), std::string::npos);
  h.binding.messages.clear();

  StartAndSeeRunning(h);
  EXPECT_NE(h.G().ServerPid, victim);
  EXPECT_TRUE(h.binding.messages.empty());
  QuitAndSeeNothingRunning(h);
  EXPECT_TRUE(h.binding.messages.empty());
}

}  // namespace
