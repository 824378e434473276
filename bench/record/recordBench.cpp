// bench_record: the stream download of a recording, measured against a loopback server.
//
//   bench_record serve                 serves until killed; prints its port first
//       /bytes/MIB     MIB mebibytes of FLV-like data as fast as possible, then a clean close
//       /rate/KBPS     an endless stream at KBPS kilobytes per second (25 pieces a second)
//   bench_record fetch URL FILE        one download into FILE; prints bytes, seconds, CPU seconds
//   bench_record many URL N SECONDS DIR
//                                      N simultaneous downloads for SECONDS, then stopped;
//                                      prints bytes and the peak resident memory

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/net/UrlDownload.h"

namespace {

bool sendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void serveConnection(int fd, const std::string& block)
{
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(fd);
            return;
        }
        request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: video/x-flv\r\nConnection: close\r\n\r\n";
    sendAll(fd, head.data(), head.size());
    sendAll(fd, "FLV\x01\x05\x00\x00\x00\x09\x00\x00\x00\x00", 13);
    if (path.rfind("/bytes/", 0) == 0) {
        const long long total = std::atoll(path.c_str() + 7) * 1024 * 1024;
        for (long long sent = 0; sent < total; sent += static_cast<long long>(block.size())) {
            const std::size_t n = static_cast<std::size_t>(std::min<long long>(total - sent, block.size()));
            if (!sendAll(fd, block.data(), n))
                break;
        }
    } else if (path.rfind("/rate/", 0) == 0) {
        const std::size_t piece = static_cast<std::size_t>(std::atoll(path.c_str() + 6)) * 1000 / 25;
        const std::string data(piece, '\x42');
        auto next = std::chrono::steady_clock::now();
        while (sendAll(fd, data.data(), data.size())) {
            next += std::chrono::milliseconds(40);
            std::this_thread::sleep_until(next);
        }
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
}

int serve()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 128) != 0)
        return 1;
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    std::string block(256 * 1024, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::thread(serveConnection, fd, std::cref(block)).detach();
    }
}

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int fetch(const std::string& url, const std::string& file)
{
    const auto start = std::chrono::steady_clock::now();
    const qingtong::DownloadOutcome outcome =
        qingtong::urlDownloadToFile(url, file, [](std::uint64_t) { return true; });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("bytes %llu seconds %.3f cpu %.3f MiB/s %.1f result %d\n",
                static_cast<unsigned long long>(outcome.bytesWritten), seconds, cpuSeconds(),
                static_cast<double>(outcome.bytesWritten) / 1048576.0 / seconds, static_cast<int>(outcome.result));
    return outcome.result == qingtong::DownloadResult::Completed ? 0 : 1;
}

int many(const std::string& url, int count, int seconds, const std::string& dir)
{
    std::atomic<bool> stop{false};
    std::atomic<unsigned long long> total{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            const std::string file = dir + "/rec" + std::to_string(i) + ".flv";
            ::unlink(file.c_str());
            const auto outcome = qingtong::urlDownloadToFile(url, file, [&](std::uint64_t) { return !stop.load(); });
            total += outcome.bytesWritten;
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (auto& t : threads)
        t.join();
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("recordings %d seconds %d bytes %llu peak-rss-kib %ld cpu %.3f\n", count, seconds, total.load(),
                usage.ru_maxrss, cpuSeconds());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve")
        return serve();
    if (mode == "fetch" && argc == 4)
        return fetch(argv[2], argv[3]);
    if (mode == "many" && argc == 6)
        return many(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
    std::fprintf(stderr, "usage: bench_record serve | fetch URL FILE | many URL N SECONDS DIR\n");
    return 2;
}
