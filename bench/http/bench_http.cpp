// Side-by-side timing of sequential small HTTPS POSTs to a loopback server.
//   bench_http [count]
// Prints the time per request of each way and its ratio to the reused libcurl handle.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <curl/curl.h>
#include <unistd.h>

#include "httpclient/HttpClient.h"
#include "support/TestHttpServer.h"

using Clock = std::chrono::steady_clock;

namespace {

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const char* kBody = "room_ids=7301234567890123456&sec_user_id=MS4wLjABAAAA";

double runHttpClient(const std::string& url, int count, int& failures)
{
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        qingtong::HttpClient http;
        http.open("POST", url);
        http.setUserAgent("okhttp/3.12.1");
        http.send(kBody);
        if (http.responseText().empty())
            ++failures;
    }
    return msSince(start);
}

double runReusedHandle(CURL* h, curl_slist* headers, const std::string& url, int count, int& failures)
{
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, kBody);
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &discard);
        long status = 0;
        if (curl_easy_perform(h) != CURLE_OK || (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status), status != 200))
            ++failures;
    }
    return msSince(start);
}

// One curl process for all requests (a config file with one url per request).
double runCurlOneProcess(const std::string& url, int count)
{
    const std::string config = "/tmp/bench_http_curl_" + std::to_string(getpid()) + ".cfg";
    {
        std::ofstream out(config);
        out << "insecure\nsilent\nhttp1.1\nuser-agent = \"okhttp/3.12.1\"\ndata = \"" << kBody << "\"\n";
        for (int i = 0; i < count; ++i)
            out << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
    }
    const std::string cmd = "curl -K " + config;
    const auto start = Clock::now();
    const int rc = std::system(cmd.c_str());
    const double ms = msSince(start);
    std::remove(config.c_str());
    return rc == 0 ? ms : -1;
}

// A new curl process per request.
double runCurlProcessLoop(const std::string& url, int count)
{
    const std::string cmd = "curl -k -s --http1.1 -o /dev/null -A okhttp/3.12.1 --data '" + std::string(kBody) + "' '" + url + "'";
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i)
        if (std::system(cmd.c_str()) != 0)
            return -1;
    return msSince(start);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    qingtong::test::TestHttpServer server(true);
    qingtong::test::ScriptedResponse r;
    r.body = R"({"data":[{"user_live":[{"live_status":1,"room_id":"7301234567890123456"}]}],"status_code":0})";
    r.headers = {"Content-Type: application/json; charset=utf-8"};
    server.route("/webcast/room/live", r);
    const std::string url = server.url("/webcast/room/live");

    curl_global_init(CURL_GLOBAL_DEFAULT);
    int failures = 0;
    CURL* h = curl_easy_init();   // the one handle of the reference way, kept for the whole run
    curl_slist* headers = curl_slist_append(nullptr, "User-Agent: okhttp/3.12.1");
    runReusedHandle(h, headers, url, 20, failures);   // warm-up: certificate, server threads
    runHttpClient(url, 20, failures);

    const int connectionsBefore = server.connectionsAccepted();
    // The two in-process ways alternate in ten rounds, so that a busy machine slows both alike.
    double client = 0, reused = 0;
    const int rounds = 10;
    for (int round = 0; round < rounds; ++round) {
        const int n = count / rounds + (round < count % rounds ? 1 : 0);
        if (round % 2 == 0) {
            client += runHttpClient(url, n, failures);
            reused += runReusedHandle(h, headers, url, n, failures);
        } else {
            reused += runReusedHandle(h, headers, url, n, failures);
            client += runHttpClient(url, n, failures);
        }
    }
    const int clientConnections = server.connectionsAccepted() - connectionsBefore;
    const double curlOne = runCurlOneProcess(url, count);
    const int loopCount = std::max(1, count / 10);
    const double curlLoop = runCurlProcessLoop(url, loopCount);

    auto row = [&](const char* name, double ms, int n) {
        if (ms < 0) {
            std::printf("%-44s failed\n", name);
            return;
        }
        const double per = ms * 1000.0 / n;
        std::printf("%-44s %8.1f us/request  ratio %.2f\n", name, per, per / (reused * 1000.0 / count));
    };
    std::printf("%d sequential HTTPS POSTs to a loopback server\n", count);
    row("HttpClient, new instance per request", client, count);
    row("libcurl, one reused easy handle", reused, count);
    row("curl program, all URLs in one process", curlOne, count);
    row("curl program, one process per request", curlLoop, loopCount);
    std::printf("connections opened during both in-process runs: %d \nfailed requests: %d\n", clientConnections, failures);
    curl_slist_free_all(headers);
    curl_easy_cleanup(h);
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
