#pragma once

#include <cstdint>
#include <string>

namespace server {

// "php\php -S 127.0.0.1:<port> -t php/www/public/"
std::string ServerCommandLine(int32_t port);

}  // namespace server
