#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/file_system.h"
#include "platform/posix/unique_fd.h"

namespace platform {

namespace {

using posix::UniqueFd;

std::string Folder(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

bool Fail(std::string* error) {
  if (error) *error = std::strerror(errno);
  return false;
}

}  // namespace

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CreateFileIfMissing(const std::string& path) {
  // Read access is enough to create, and opens an existing read-only file too.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  return fd.Get() >= 0;
}

std::optional<std::string> ReadFileStart(const std::string& path, size_t max_bytes) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return std::nullopt;
  struct stat info {};
  if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string content(max_bytes, '\0');
  size_t done = 0;
  while (done < max_bytes) {
    const ssize_t n = ::read(fd.Get(), content.data() + done, max_bytes - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  content.resize(done);
  return content;
}

ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 std::string* error, int attempt) {
  const std::string temp = path + ".tmp" + (attempt > 1 ? std::to_string(attempt) : "");
  // As Windows' read-only attribute: rename would replace it, but its owner meant it.
  struct stat old {};
  const bool old_file = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  if (old_file && (old.st_mode & 0222) == 0) {
    if (error) *error = kReadOnlyReason;
    return ReplaceResult::ReadOnly;
  }
  {
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.Get() < 0) {
      Fail(error);
      return ReplaceResult::Failed;
    }
    // The new file keeps the permissions of the one it replaces.
    if (old_file) ::fchmod(fd.Get(), old.st_mode & 07777);
    size_t done = 0;
    while (done < content.size()) {
      const ssize_t n = ::write(fd.Get(), content.data() + done, content.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Fail(error);
        ::unlink(temp.c_str());
        return ReplaceResult::Failed;
      }
      done += static_cast<size_t>(n);
    }
    if (::fsync(fd.Get()) != 0 || !fd.Close()) {
      Fail(error);
      ::unlink(temp.c_str());
      return ReplaceResult::Failed;
    }
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    Fail(error);
    ::unlink(temp.c_str());
    return ReplaceResult::Failed;
  }
  // Makes the rename itself durable; a failure here no longer loses anything.
  UniqueFd folder(::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) ::fsync(folder.Get());
  return ReplaceResult::Replaced;
}

}  // namespace platform
