// Stands in for the PHP interpreter in the Windows tests: Debian's PHP cannot be
// launched as a Windows process under Wine. It takes php's "-S host:port -t root"
// arguments (anything else is ignored), and serves the files below root over
// HTTP/1.0, one request at a time. As PHP does, it logs each request to its
// standard error; "/.standin/console" tells whether it has a console window and
// how those writes went. With STANDIN_EXIT_CODE set in its environment it ends at
// once with that code, as a PHP that cannot start would, after writing
// STANDIN_REASON to its standard error; STANDIN_NOISE_MB has it write that many
// megabytes of log there before it serves.
// winsock2.h must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/unique_resource.h"

namespace {

void CloseSocket(SOCKET s) { closesocket(s); }
using Socket = platform::UniqueResource<SOCKET, CloseSocket, INVALID_SOCKET>;

bool ReadFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  bytes = s.str();
  return true;
}

void SendAll(SOCKET s, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

std::string Response(const std::string& status, const std::string& body) {
  return "HTTP/1.0 " + status +
         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

int log_writes_ok = 0;
int log_writes_failed = 0;

// One request log line on standard error, as PHP's development server writes them.
void LogRequest(const std::string& line) {
  const std::string text = line + "\n";
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (err && err != INVALID_HANDLE_VALUE &&
      WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size())
    ++log_writes_ok;
  else
    ++log_writes_failed;
}

std::string Answer(const std::string& request, std::string root) {
  std::istringstream line(request.substr(0, request.find("\r\n")));
  std::string method, target;
  line >> method >> target;
  LogRequest("[stand-in] 127.0.0.1 " + method + " " + target);
  if (method != "GET") return Response("405 Method Not Allowed", "Method Not Allowed\n");
  target = target.substr(0, target.find('?'));
  if (target == "/.standin/console")
    return Response("200 OK", std::string("console window: ") +
                                  (GetConsoleWindow() ? "shown or hidden" : "none") +
                                  "\nstandard error: " + std::to_string(log_writes_ok) +
                                  " written, " + std::to_string(log_writes_failed) + " failed\n");
  if (target == "/.standin/stderr")  // its standard error's handle, for a test to copy
    return Response("200 OK",
                    std::to_string(reinterpret_cast<uintptr_t>(GetStdHandle(STD_ERROR_HANDLE))));
  if (target == "/.standin/environment") {  // one entry a line, in its block's order
    std::string lines;
    char* block = GetEnvironmentStringsA();
    for (const char* e = block; *e; e += std::strlen(e) + 1) lines.append(e).push_back('\n');
    FreeEnvironmentStringsA(block);
    return Response("200 OK", lines);
  }
  if (target.empty() || target[0] != '/' || target.find("..") != std::string::npos ||
      target.find('\\') != std::string::npos)
    return Response("403 Forbidden", "Forbidden\n");
  if (!root.empty() && root.back() != '/' && root.back() != '\\') root += '/';
  std::string body;
  if (target == "/") {
    if (ReadFile(root + "index.html", body) || ReadFile(root + "index.php", body))
      return Response("200 OK", body);
  } else if (ReadFile(root + target.substr(1), body)) {
    return Response("200 OK", body);
  }
  return Response("404 Not Found", "Not Found\n");
}

void Serve(SOCKET client, const std::string& root) {
  // A client that connects and sends nothing must not hold the server for long.
  DWORD timeout_ms = 2000;
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
             sizeof timeout_ms);
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    const int n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) return;
    request.append(buffer, static_cast<size_t>(n));
  }
  SendAll(client, Answer(request, root));
  shutdown(client, SD_SEND);
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* code = std::getenv("STANDIN_EXIT_CODE")) {
    if (const char* reason = std::getenv("STANDIN_REASON")) std::fprintf(stderr, "%s\n", reason);
    return static_cast<int>(std::strtoul(code, nullptr, 0));
  }
  std::string address, root = ".";
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "-S") == 0)
      address = argv[++i];
    else if (std::strcmp(argv[i], "-t") == 0)
      root = argv[++i];
  }
  const size_t colon = address.rfind(':');
  if (colon == std::string::npos) {
    std::fprintf(stderr, "Invalid address: %s\n", address.c_str());
    return 64;
  }
  // As PHP does, it gives up at once without its document root.
  const DWORD attributes = GetFileAttributesA(root.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    std::fprintf(stderr, "Directory %s does not exist.\n", root.c_str());
    return 1;
  }
  const std::string host = address.substr(0, colon);
  const int port = std::atoi(address.c_str() + colon + 1);

  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  // As PHP does: a server stopped a moment ago leaves its connections in TIME_WAIT,
  // which would refuse the bind of the next one on the same port.
  BOOL reuse = TRUE;
  setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
             sizeof reuse);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  if (!listener.Valid() || port < 1 || port > 65535 ||
      inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1 ||
      bind(listener.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener.Get(), SOMAXCONN) != 0) {
    std::fprintf(stderr, "Failed to listen on %s (reason: error %d)\n", address.c_str(),
                 WSAGetLastError());
    return 1;
  }
  std::printf("Stand-in Development Server (http://%s) started\n", address.c_str());
  std::fflush(stdout);
  // A log of that many megabytes on standard error, as a busy server writes it.
  if (const char* megabytes = std::getenv("STANDIN_NOISE_MB")) {
    const std::string line(99, 'x');
    for (long i = std::atol(megabytes) * 10000; i > 0; --i) LogRequest(line);
  }

  for (;;) {
    Socket client(accept(listener.Get(), nullptr, nullptr));
    if (client.Valid()) Serve(client.Get(), root);
  }
}
