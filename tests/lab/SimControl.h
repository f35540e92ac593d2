#pragma once
// One request line to the simulator's control socket; the answer is all it
// writes until it closes the connection, or a short reason why there is none.

#include <cstdio>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

inline std::string SimControlRequest(const std::string& path, const std::string& line) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return "no socket";
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    std::string answer;
    const std::string request = line + "\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        answer = "no connection";
    } else if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
               static_cast<ssize_t>(request.size())) {
        answer = "not sent";
    } else {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer;
}
