#include <windows.h>

#include <algorithm>
#include <utility>

#include "platform/file_system.h"
#include "platform/win32/text_win32.h"
#include "platform/win32/unique_handles.h"

namespace platform {

namespace {

using win32::UniqueHandle;

bool Fail(std::string* error, DWORD code) {
  if (error) *error = win32::SystemErrorText(code);
  return false;
}

}  // namespace

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFileIfMissing(const std::string& path) {
  UniqueHandle file(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid();
}

std::optional<std::string> ReadFileStart(const std::string& path, size_t max_bytes) {
  UniqueHandle file(CreateFileW(win32::Widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return std::nullopt;
  std::string content(max_bytes, '\0');
  size_t done = 0;
  while (done < max_bytes) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(max_bytes - done, 1u << 30));
    DWORD n = 0;
    if (!ReadFile(file.Get(), content.data() + done, want, &n, nullptr)) return std::nullopt;
    if (n == 0) break;
    done += n;
  }
  content.resize(done);
  return content;
}

ReplaceResult ReplaceFileContent(const std::string& path, std::string_view content,
                                 std::string* error, int attempt) {
  const std::wstring target = win32::Widen(path);
  const std::wstring temp = target + L".tmp" + (attempt > 1 ? std::to_wstring(attempt) : L"");
  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool is_folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  if (attributes != INVALID_FILE_ATTRIBUTES && !is_folder &&
      (attributes & FILE_ATTRIBUTE_READONLY)) {
    if (error) *error = kReadOnlyReason;
    return ReplaceResult::ReadOnly;
  }
  // Another program that has a file open without delete sharing makes the rename
  // fail; a scanner may also still hold a temporary file of an earlier save.
  auto result_of = [&](DWORD code, bool renaming) {
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return ReplaceResult::Held;
    if (code == ERROR_ACCESS_DENIED && renaming && !is_folder) return ReplaceResult::Held;
    return ReplaceResult::Failed;
  };
  // The temporary file is closed before it is deleted: one opened without
  // sharing cannot be deleted while the handle is open.
  auto give_up = [&](DWORD code, bool renaming) {
    DeleteFileW(temp.c_str());
    Fail(error, code);
    return result_of(code, renaming);
  };
  {
    UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      const DWORD code = GetLastError();
      Fail(error, code);
      return result_of(code, false);
    }
    DWORD written = 0;
    DWORD code = ERROR_SUCCESS;
    if (!WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr))
      code = GetLastError();
    else if (written != content.size())
      code = ERROR_WRITE_FAULT;
    else if (!FlushFileBuffers(file.Get()))
      code = GetLastError();
    if (!CloseHandle(file.Release()) && code == ERROR_SUCCESS) code = GetLastError();
    if (code != ERROR_SUCCESS) return give_up(code, false);
  }
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return give_up(GetLastError(), true);
  return ReplaceResult::Replaced;
}

}  // namespace platform
