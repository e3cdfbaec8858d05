// The least a print job server can do, for comparison with the listener: one thread accepts a
// connection, writes what it sends into a new file, closes the file, then closes the connection.
//
//   baseline_server PORT FOLDER
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: baseline_server PORT FOLDER\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const std::string folder = argv[2];
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        std::perror("baseline_server");
        return 1;
    }
    char buf[65536];
    for (unsigned long n = 0;; ++n) {
        int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            if (errno == EINTR) continue;
            std::perror("accept");
            continue;
        }
        const std::string path = folder + "/" + std::to_string(n) + ".prn";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ssize_t got;
        while ((got = ::read(c, buf, sizeof buf)) > 0)
            if (fd >= 0 && ::write(fd, buf, static_cast<size_t>(got)) != got) break;
        if (fd >= 0) ::close(fd);
        ::close(c);
    }
}
