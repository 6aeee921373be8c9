// run-isolated.sh gives each test a network namespace with loopback alone
// where that is permitted: nothing but 127.0.0.1 can be reached.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

bool isolated()
{
    const char* flag = std::getenv("ZAVMO_NET_ISOLATED");
    return flag && std::string(flag) == "1";
}

// Whether this process could have a network namespace of its own.
bool namespacePermitted()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(unshare(CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// errno of a UDP connect() to address:port (0 when it succeeds).
int connectError(const char* address, int port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address, &to.sin_addr);
    const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    const int error = rc == 0 ? 0 : errno;
    close(fd);
    return error;
}

} // namespace

TEST(NetworkIsolation, OnlyLoopbackIsUpAndReachable)
{
    if (!isolated()) {
        ASSERT_FALSE(namespacePermitted()) << "a network namespace was permitted but not used";
        GTEST_SKIP() << "no network namespace of its own here (needs root)";
    }

    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    std::set<std::string> up;
    for (const ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_flags & IFF_UP)
            up.insert(a->ifa_name);
    freeifaddrs(list);
    EXPECT_EQ(up, std::set<std::string>{"lo"});

    EXPECT_EQ(connectError("127.0.0.1", 9), 0);
    EXPECT_EQ(connectError("192.0.2.1", 9), ENETUNREACH); // TEST-NET-1, never routed
    EXPECT_EQ(connectError("1.1.1.1", 53), ENETUNREACH);

    // The compiled-in host names resolve nowhere.
    addrinfo* found = nullptr;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const int rc = getaddrinfo("www.zavmo.example", "443", &hints, &found);
    if (rc == 0)
        freeaddrinfo(found);
    EXPECT_NE(rc, 0);
}
