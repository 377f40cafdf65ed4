#include "server/command_line.h"

namespace server {

std::string ServerCommandLine(int32_t port) {
  return "php\\php -S 127.0.0.1:" + std::to_string(port) + " -t php/www/public/";
}

}  // namespace server
