#include "platform/win32/output_pipe_win32.h"

#include <bcrypt.h>

#include <algorithm>
#include <vector>

#include "platform/process.h"
#include "platform/win32/system_dlls.h"

namespace platform::win32 {
namespace {

// Room for the request log of more than a tick, also while a box is open.
constexpr DWORD kOutputPipeBytes = 1024 * 1024;

// "\\.\pipe\Dravelo_WEB_MONITOR-" and 128 bits of the system's random generator in hex;
// empty when the generator cannot be had.
std::wstring UnguessableName() {
  decltype(&BCryptGenRandom) generate = nullptr;
  unsigned char bytes[16];
  if (!BindLate(LoadSystemLibrary(L"bcrypt.dll", LOAD_LIBRARY_SEARCH_SYSTEM32), "BCryptGenRandom",
                generate) ||
      generate(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
    return {};
  std::wstring name = L"\\\\.\\pipe\\Dravelo_WEB_MONITOR-";
  for (const unsigned char b : bytes)
    name.append({L"0123456789abcdef"[b >> 4], L"0123456789abcdef"[b & 15]});
  return name;
}

// Security attributes whose DACL grants the user of this process alone.
class UserOnly {
 public:
  UserOnly() {
    UniqueHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    user_.resize(size);
    if (!GetTokenInformation(token.Get(), TokenUser, user_.data(), size, &size)) return;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    if (InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
        InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
      attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  }
  UserOnly(const UserOnly&) = delete;
  UserOnly& operator=(const UserOnly&) = delete;

  // Null when they could not be made.
  SECURITY_ATTRIBUTES* Get() { return attributes_.nLength ? &attributes_ : nullptr; }

 private:
  std::vector<unsigned char> user_;  // TOKEN_USER
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace

OutputPipe::OutputPipe(UniqueHandle pipe, UniqueHandle event)
    : pipe_(std::move(pipe)), event_(std::move(event)) {}

void OutputPipe::Drain(std::string& kept, size_t limit, bool ended) {
  bool at_end = false;  // every write end has closed, or the pipe broke
  for (size_t total = 0; pipe_ && !at_end;) {
    if (!pending_) {
      if (total >= kDrainBytes) break;
      overlapped_ = OVERLAPPED{};
      overlapped_.hEvent = event_.Get();
      const auto size = static_cast<DWORD>(std::min(sizeof buffer_, kDrainBytes - total));
      // Done at once when something is waiting, else pending until something comes.
      at_end = !ReadFile(pipe_.Get(), buffer_, size, nullptr, &overlapped_) &&
               GetLastError() != ERROR_IO_PENDING;
      pending_ = !at_end;
      continue;
    }
    if (!HasOverlappedIoCompleted(&overlapped_)) break;
    pending_ = false;
    DWORD read = 0;
    at_end = !GetOverlappedResult(pipe_.Get(), &overlapped_, &read, FALSE);
    KeepUpTo(kept, limit, {buffer_, at_end ? 0 : read});
    total += read;
  }
  if (ended || at_end) Close();
}

void OutputPipe::Close() {
  if (pending_) {
    // The system writes into the buffer until the read is done: cancelled and awaited.
    CancelIoEx(pipe_.Get(), &overlapped_);
    DWORD read = 0;
    GetOverlappedResult(pipe_.Get(), &overlapped_, &read, TRUE);
    pending_ = false;
  }
  pipe_.Reset();
  event_.Reset();
}

std::unique_ptr<OutputPipe> MakeOutputPipe(UniqueHandle& write_end, unsigned long& error) {
  UserOnly user_only;
  const std::wstring name = UnguessableName();
  UniqueHandle read_end, event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!name.empty() && user_only.Get() && event)
    read_end = UniqueHandle(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kOutputPipeBytes, 0, user_only.Get()));
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  if (read_end)
    write_end = UniqueHandle(CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                                         &inherited, OPEN_EXISTING, 0, nullptr));
  if (!write_end) {
    // The random generator reports its failure by its status alone: never "success".
    error = GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
    return nullptr;
  }
  return std::make_unique<OutputPipe>(std::move(read_end), std::move(event));
}

}  // namespace platform::win32
