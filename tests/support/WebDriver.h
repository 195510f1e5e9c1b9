// SPDX-License-Identifier: MIT
// A real headless Chromium, driven over WebDriver (plain HTTP and JSON) by
// the chromedriver the test starts: pages are opened, scripts run in them,
// their screens taken and their console read, as a user's browser shows
// them.
#pragma once

#include "base/Base64.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Network.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vigilon::test {

class Browser {
public:
    struct Options {
        // The profile's folder, the test's own.
        std::string profile;
        int width = 1200;
        int height = 900;
        // What the browser asks pages for: "ja", "en-US,en".
        std::string languages = "en-US,en";
    };

    // Empty when both programs are there; else what is missing.
    static std::string missing()
    {
        for (const char *program : {"/usr/bin/chromium", "/usr/bin/chromedriver"}) {
            if (!std::filesystem::exists(program))
                return std::string("needs ") + program + " (Debian packages chromium and chromium-driver)";
        }
        return {};
    }

    explicit Browser(const Options &options)
    {
        port_ = closedTcpPort();
        driver_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/chromedriver", "--port=" + std::to_string(port_)});
        if (!waitUntil([this] { return TcpClient(port_).connected(); }, 20000)) {
            error_ = "chromedriver did not start: " + driver_->output();
            return;
        }
        nlohmann::json args = {"--headless=new", "--disable-gpu", "--no-first-run", "--no-default-browser-check",
                               "--disable-extensions", "--disable-background-networking", "--disable-sync",
                               "--user-data-dir=" + options.profile,
                               "--window-size=" + std::to_string(options.width) + "," +
                                   std::to_string(options.height),
                               "--lang=" + options.languages.substr(0, options.languages.find(','))};
        if (geteuid() == 0)
            args.push_back("--no-sandbox");
        const nlohmann::json capabilities = {
            {"capabilities",
             {{"alwaysMatch",
               {{"browserName", "chrome"},
                {"goog:loggingPrefs", {{"browser", "ALL"}}},
                {"goog:chromeOptions",
                 {{"binary", "/usr/bin/chromium"},
                  {"args", args},
                  {"prefs", {{"intl.accept_languages", options.languages}}}}}}}}}};
        const nlohmann::json created = call("POST", "/session", capabilities);
        if (created.contains("sessionId"))
            session_ = created.at("sessionId").get<std::string>();
        else if (created.contains("value") && created.at("value").is_object() &&
                 created.at("value").contains("sessionId"))
            session_ = created.at("value").at("sessionId").get<std::string>();
        if (session_.empty())
            error_ = "no session: " + created.dump() + driver_->output();
    }

    ~Browser()
    {
        if (!session_.empty())
            call("DELETE", "/session/" + session_, nullptr);
    }
    Browser(const Browser &) = delete;
    Browser &operator=(const Browser &) = delete;

    bool ready() const { return !session_.empty(); }
    const std::string &error() const { return error_; }

    bool open(const std::string &url)
    {
        return !failed(command("POST", "/url", {{"url", url}}));
    }

    // Runs script (a function body: "return ...") in the page; its value.
    nlohmann::json run(const std::string &script)
    {
        const nlohmann::json answer = command("POST", "/execute/sync", {{"script", script}, {"args", nlohmann::json::array()}});
        return answer.contains("value") ? answer.at("value") : nlohmann::json();
    }

    // A DevTools command through the driver, such as an emulated media
    // feature.
    bool devtools(const std::string &name, const nlohmann::json &parameters)
    {
        return !failed(command("POST", "/goog/cdp/execute", {{"cmd", name}, {"params", parameters}}));
    }

    // The page as it shows now, as PNG bytes; empty when none came.
    std::string screenshot()
    {
        const nlohmann::json answer = command("GET", "/screenshot", nullptr);
        if (!answer.contains("value") || !answer.at("value").is_string())
            return {};
        std::vector<std::uint8_t> png;
        if (!base64Decode(answer.at("value").get<std::string>(), png))
            return {};
        return {png.begin(), png.end()};
    }

    // What the page's console and the browser said at level SEVERE (errors,
    // failed loads) since the last call.
    std::vector<std::string> consoleErrors()
    {
        std::vector<std::string> out;
        const nlohmann::json answer = command("POST", "/se/log", {{"type", "browser"}});
        if (!answer.contains("value") || !answer.at("value").is_array()) {
            out.push_back("the log could not be read: " + answer.dump());
            return out;
        }
        for (const nlohmann::json &entry : answer.at("value")) {
            if (entry.value("level", "") == "SEVERE")
                out.push_back(entry.value("message", ""));
        }
        return out;
    }

private:
    static bool failed(const nlohmann::json &answer)
    {
        return answer.is_null() || (answer.contains("value") && answer.at("value").is_object() &&
                                    answer.at("value").contains("error"));
    }

    nlohmann::json command(const std::string &method, const std::string &path, const nlohmann::json &body)
    {
        return call(method, "/session/" + session_ + path, body);
    }

    // One request on a connection of its own; the answer is read as far as
    // its length says, for the driver keeps connections open.
    nlohmann::json call(const std::string &method, const std::string &path, const nlohmann::json &body)
    {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            if (fd >= 0)
                close(fd);
            return nullptr;
        }
        const timeval wait{120, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        const std::string content = body.is_null() ? std::string() : body.dump();
        std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!body.is_null())
            request += "Content-Type: application/json; charset=utf-8\r\n";
        request += "Content-Length: " + std::to_string(content.size()) + "\r\n\r\n" + content;
        std::string response;
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
            char buffer[65536];
            for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
                response.append(buffer, static_cast<std::size_t>(got));
                const std::size_t headEnd = response.find("\r\n\r\n");
                if (headEnd == std::string::npos)
                    continue;
                const std::string length = httpHeader(response, "Content-Length");
                if (!length.empty() && response.size() >= headEnd + 4 + std::stoul(length))
                    break;
                if (httpHeader(response, "Transfer-Encoding") == "chunked" &&
                    response.size() >= 5 && response.compare(response.size() - 5, 5, "0\r\n\r\n") == 0)
                    break;
            }
        }
        close(fd);
        std::string text = httpBody(response);
        if (httpHeader(response, "Transfer-Encoding") == "chunked")
            text = unchunked(text);
        return nlohmann::json::parse(text, nullptr, false);
    }

    static std::string unchunked(const std::string &text)
    {
        std::string out;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t lineEnd = text.find("\r\n", at);
            if (lineEnd == std::string::npos)
                break;
            const std::size_t size = std::stoul(text.substr(at, lineEnd - at), nullptr, 16);
            if (size == 0)
                break;
            out += text.substr(lineEnd + 2, size);
            at = lineEnd + 2 + size + 2;
        }
        return out;
    }

    std::uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> driver_;
    std::string session_;
    std::string error_;
};

} // namespace vigilon::test
