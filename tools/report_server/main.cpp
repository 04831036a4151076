// zorel-report-server: a report server for tests and local use. It serves
// the one endpoint on a loopback address over HTTPS (or plain HTTP), keeps
// sessions and uploads in its data folder and can be told to misbehave.
// Every request is logged on one line to DIR/server.log and to stderr; the
// port is printed alone on the first line of stdout once it is bound.

#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "report_store.h"
#include "request_handler.h"
#include "self_signed.h"
#include "server_options.h"
#include "session_views.h"
#include "view_token.h"
#include "zorel/report/report_settings.h"

namespace zorel::reportserver {

namespace {

constexpr size_t kMaxBodyBytes = 512u * 1024u * 1024u;

// The summary of the request being served, handed from the handler to the
// logger, which httplib calls on the same thread right after it.
thread_local Reply* tCurrent = nullptr;
// The reply itself lives per thread at namespace scope: a thread_local
// inside run() would only be constructed on the thread that runs run().
thread_local Reply tReply;

class RequestLog {
 public:
  explicit RequestLog(const std::string& path) : out_(path, std::ios::app | std::ios::binary) {}
  void line(const httplib::Request& req, const httplib::Response& res) {
    std::string command = "-", result = "-";
    if (tCurrent) {
      command = tCurrent->command;
      result = tCurrent->result;
    }
    std::string text = utcNow() + " " + req.remote_addr + " " + req.method + " " + req.path +
                       " status=" + std::to_string(res.status) +
                       " in=" + std::to_string(req.body.size()) +
                       " out=" + std::to_string(res.body.size()) + " command=" + command +
                       " result=" + result + "\n";
    std::lock_guard<std::mutex> guard(lock_);
    out_ << text << std::flush;
    std::cerr << text << std::flush;
  }

 private:
  std::mutex lock_;
  std::ofstream out_;
};

int run(const ServerOptions& options) {
  ReportStore store(options.dataDir);
  std::string error;
  if (!store.open(error)) {
    std::cerr << "zorel-report-server: " << error << "\n";
    return 1;
  }

  std::string viewToken;
  bool tokenIsNew = false;
  if (!loadViewToken(options.dataDir, options.viewToken, viewToken, tokenIsNew, error)) {
    std::cerr << "zorel-report-server: " << error << "\n";
    return 1;
  }

  std::unique_ptr<httplib::Server> server;
  if (options.plainHttp) {
    server = std::make_unique<httplib::Server>();
  } else {
    std::string cert = options.certFile, key = options.keyFile;
    if (cert.empty()) {
      cert = options.dataDir + "/server.crt";
      key = options.dataDir + "/server.key";
      if (!ensureSelfSignedCertificate(cert, key, error)) {
        std::cerr << "zorel-report-server: " << error << "\n";
        return 1;
      }
    }
    auto tls = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    if (!tls->is_valid()) {
      std::cerr << "zorel-report-server: cannot use certificate " << cert << " with key "
                << key << "\n";
      return 1;
    }
    server = std::move(tls);
  }

  RequestHandler handler(store, options.faults);
  RequestLog log(options.dataDir + "/server.log");
  server->set_payload_max_length(kMaxBodyBytes);
  server->set_logger([&log](const httplib::Request& req, const httplib::Response& res) {
    log.line(req, res);
    tCurrent = nullptr;
  });
  auto serveReply = [](Reply& reply, httplib::Response& res) {
    tCurrent = &reply;
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
    for (const auto& [name, value] : reply.headers) res.set_header(name, value);
  };
  server->Post(kReportEndpointPath, [&](const httplib::Request& req, httplib::Response& res) {
    tReply = handler.handle(req.body);
    serveReply(tReply, res);
  });
  server->Get(kReportEndpointPath, [&](const httplib::Request&, httplib::Response& res) {
    tReply = Reply{};
    tReply.status = 405;
    tReply.body = answerText(405, true, "the endpoint takes POST only", Json::Value());
    tReply.result = "refused: not POST";
    serveReply(tReply, res);
  });
  // Every other GET is a view page (session_views.h), behind the token.
  SessionViews views(store, viewToken);
  server->Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    ViewRequest view;
    view.path = req.path;
    view.authorization = req.get_header_value("Authorization");
    view.hasQueryToken = req.has_param("token");
    if (view.hasQueryToken) view.queryToken = req.get_param_value("token");
    tReply = views.get(view);
    serveReply(tReply, res);
  });

  int port = options.port;
  if (port == 0) {
    port = server->bind_to_any_port(options.host.c_str());
  } else if (!server->bind_to_port(options.host.c_str(), port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "zorel-report-server: cannot listen on " << options.host << ":" << options.port
              << "\n";
    return 1;
  }

  // SIGINT and SIGTERM are taken by one thread that stops the server; every
  // other thread (httplib's workers included) inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  // A signal can come before listen_after_bind() is running, when stop()
  // would do nothing; so stop() is repeated until the listener has ended.
  std::atomic<bool> listenEnded{false};
  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    handler.stop();
    while (!listenEnded) {
      if (server->is_running()) server->stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });

  std::cout << port << std::endl;
  // A token made now is shown this once; later starts read it from the file.
  if (tokenIsNew) {
    std::cout << "view token: " << viewToken << std::endl;
    std::cerr << "zorel-report-server: view token " << viewToken << " (kept in " << options.dataDir
              << "/view.token)\n";
  }
  std::cerr << "zorel-report-server: " << (options.plainHttp ? "http" : "https") << "://"
            << options.host << ":" << port << kReportEndpointPath << ", data in "
            << options.dataDir << "\n";
  const bool ok = server->listen_after_bind();
  listenEnded = true;
  handler.stop();
  // Ended by itself: wake the stopper so it can be joined.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return ok ? 0 : 1;
}

}  // namespace

}  // namespace zorel::reportserver

int main(int argc, char** argv) {
  using namespace zorel::reportserver;
  // Blocked before any thread starts, so only the stopper receives them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ServerOptions options;
  std::string error;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (!parseServerOptions(argc, argv, options, error)) {
    std::cerr << "zorel-report-server: " << error << "\n" << kUsage;
    return 2;
  }
  try {
    return run(options);
  } catch (const std::exception& e) {
    std::cerr << "zorel-report-server: " << e.what() << "\n";
    return 1;
  }
}
