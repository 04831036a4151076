#include "self_test.h"

#include <json/reader.h>
#include <json/writer.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "browser_dlg.h"
#include "zorel/app/message_translate.h"

namespace zorel::app {
namespace {

namespace fs = std::filesystem;

// What the page shows, as one JSON text.
constexpr const char* kStateProbe =
    "JSON.stringify({view: document.body ? (document.body.dataset.view || null) : null,"
    " mode: document.body ? (document.body.dataset.mode || null) : null,"
    " badge: (document.querySelector('#mode-badge') || {}).textContent || null})";

constexpr const char* kProblemsProbe =
    "JSON.stringify(Array.from(document.querySelectorAll('#problem-list li.problem')).map("
    "li => [li.dataset.id || '', (li.querySelector('.problem-name') || {}).textContent || '']))";

std::string click(const char* id) {
  return std::string("(function(){var b=document.querySelector('") + id +
         "'); if (!b) return 'false'; b.click(); return 'true';})()";
}

Json::Value parse(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  if (!Json::parseFromStream(builder, in, &value, &errors)) return Json::Value();
  return value;
}

bool viewIs(const Json::Value& state, const char* view) {
  return state.isObject() && state["view"].isString() && state["view"].asString() == view;
}

struct EvalCall {
  std::function<void(const Json::Value&)> reply;
  std::weak_ptr<bool> alive;
};

struct SnapshotCall {
  std::string path;
  std::function<void()> then;
  std::function<void()> failed;
  std::weak_ptr<bool> alive;
};

}  // namespace

SelfTest::SelfTest(CBrowserDlg& dlg, CMessageTranslateImpl& bridge, const WindowSettings& settings)
    : dlg_(dlg), bridge_(bridge), settings_(settings), alive_(std::make_shared<bool>(true)) {
  std::error_code ec;
  fs::create_directories(settings_.selfTestDir, ec);
  dlg_.onMapped = [this] {
    if (!shownMs_) shownMs_ = MsSinceStart();
  };
  dlg_.onDocumentComplete = [this] {
    if (started_) return;
    started_ = true;
    loadedMs_ = MsSinceStart();
    if (dlg_.LoadFailed()) {
      Fail("page");
      return;
    }
    CheckStart();
  };
  dlg_.onClosed = [this](const std::string& by) { Write(by); };
  // A page that never finishes loading.
  loadTimer_ = g_timeout_add(30000, +[](gpointer self) -> gboolean {
    auto* test = static_cast<SelfTest*>(self);
    test->loadTimer_ = 0;
    if (!test->started_) {
      test->started_ = true;
      test->Fail("page");
    }
    return G_SOURCE_REMOVE;
  }, this);
}

SelfTest::~SelfTest() {
  *alive_ = false;
  if (closeTimer_) g_source_remove(closeTimer_);
  if (loadTimer_) g_source_remove(loadTimer_);
}

long SelfTest::MsSinceStart() const {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - settings_.programStart)
                               .count());
}

void SelfTest::Eval(const std::string& script, Reply reply) {
  if (!dlg_.view()) {
    reply(Json::Value());
    return;
  }
  auto* call = new EvalCall{std::move(reply), alive_};
  webkit_web_view_evaluate_javascript(
      dlg_.view(), script.c_str(), -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<EvalCall> pending(static_cast<EvalCall*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        Json::Value parsed;
        if (value && jsc_value_is_string(value)) {
          char* text = jsc_value_to_string(value);
          parsed = parse(text ? text : "");
          g_free(text);
        }
        if (value) g_object_unref(value);
        g_clear_error(&error);
        std::shared_ptr<bool> alive = pending->alive.lock();
        if (alive && *alive) pending->reply(parsed);
      },
      call);
}

void SelfTest::WaitFor(const std::string& probe, std::function<bool(const Json::Value&)> done, int limitMs,
                       Reply then, std::function<void()> timedOut) {
  using Poll = std::function<void()>;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  auto poll = std::make_shared<Poll>();
  std::weak_ptr<Poll> weak = poll;
  // The pending evaluation or timer holds the poll; it goes with the last.
  *poll = [this, probe, done, then, timedOut, deadline, weak]() {
    std::shared_ptr<Poll> self = weak.lock();
    if (!self || dlg_.Closing()) return;
    Eval(probe, [done, then, timedOut, deadline, self](const Json::Value& value) {
      if (done(value)) {
        then(value);
      } else if (std::chrono::steady_clock::now() > deadline) {
        timedOut();
      } else {
        g_timeout_add(20, +[](gpointer data) -> gboolean {
          std::unique_ptr<std::shared_ptr<Poll>> next(static_cast<std::shared_ptr<Poll>*>(data));
          (**next)();
          return G_SOURCE_REMOVE;
        }, new std::shared_ptr<Poll>(self));
      }
    });
  };
  (*poll)();
}

void SelfTest::Snapshot(const std::string& name, std::function<void()> then) {
  if (!dlg_.view()) {
    Fail("snapshot");
    return;
  }
  auto* call = new SnapshotCall{(fs::path(settings_.selfTestDir) / name).string(), std::move(then), [this, name] { Fail(name); }, alive_};
  webkit_web_view_get_snapshot(
      dlg_.view(), WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<SnapshotCall> pending(static_cast<SnapshotCall*>(data));
        GError* error = nullptr;
        cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
        bool saved = false;
        if (surface) {
          saved = cairo_surface_write_to_png(surface, pending->path.c_str()) == CAIRO_STATUS_SUCCESS;
          cairo_surface_destroy(surface);
        }
        g_clear_error(&error);
        std::shared_ptr<bool> alive = pending->alive.lock();
        if (!alive || !*alive) return;
        if (!saved) {
          pending->failed();
          return;
        }
        std::fprintf(stderr, "zorel ui: screenshot %s\n", pending->path.c_str());
        pending->then();
      },
      call);
}

void SelfTest::CheckStart() {
  const int expected = dlg_.url().size() >= 1 && dlg_.url().back() == '1' ? 1 : 0;
  WaitFor(
      kStateProbe, [](const Json::Value& state) { return state.isObject() && state["view"].isString(); }, 5000,
      [this, expected](const Json::Value& state) {
        if (state["mode"].isString()) mode_ = state["mode"].asString() == "1" ? 1 : 0;
        const char* badge = expected == 1 ? "Online" : "Offline: results stay on this computer";
        if (!viewIs(state, "start") || !state["mode"].isString() ||
            state["mode"].asString() != std::to_string(expected) || !state["badge"].isString() ||
            state["badge"].asString() != badge) {
          Fail("start");
          return;
        }
        Snapshot("01-start.png", [this] { ClickStart(); });
      },
      [this] { Fail("page"); });
}

void SelfTest::ClickStart() {
  Eval(click("#start-button"), [this](const Json::Value& clicked) {
    if (!clicked.isBool() || !clicked.asBool()) {
      Fail("start");
      return;
    }
    clickTime_ = std::chrono::steady_clock::now();
    WaitFor(
        kStateProbe, [](const Json::Value& s) { return !viewIs(s, "start"); }, 10000,
        [this](const Json::Value& state) {
          if (!viewIs(state, "running")) {
            Fail("running");
            return;
          }
          Snapshot("02-running.png", [this] { AfterRunning(); });
        },
        [this] { Fail("running"); });
  });
}

void SelfTest::AfterRunning() {
  if (settings_.closeDuringRun) {
    closeTimer_ = g_timeout_add(1000, +[](gpointer self) -> gboolean {
      auto* test = static_cast<SelfTest*>(self);
      test->closeTimer_ = 0;
      if (GtkWindow* window = test->dlg_.window()) gtk_window_close(window);
      return G_SOURCE_REMOVE;
    }, this);
    return;
  }
  WaitFor(
      kStateProbe, [](const Json::Value& s) { return !viewIs(s, "running"); }, 60000,
      [this](const Json::Value& state) {
        if (!viewIs(state, "results")) {
          Fail("results");
          return;
        }
        runMs_ = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now() - clickTime_)
                                       .count());
        Snapshot("03-results.png", [this] { CheckProblems(); });
      },
      [this] { Fail("results"); });
}

void SelfTest::CheckProblems() {
  Eval(kProblemsProbe, [this](const Json::Value& rows) {
    const Json::Value answer = parse(bridge_.ProcessJSON("{\"operationid\":2}"));
    const Json::Value& expected = answer["result"]["problems"];
    bool same = rows.isArray() && expected.isArray() && rows.size() == expected.size();
    for (Json::ArrayIndex i = 0; same && i < rows.size(); ++i) {
      const Json::Value& row = rows[i];
      const Json::Value& problem = expected[i];
      same = row.isArray() && row.size() == 2 && problem["problemid"].isIntegral() &&
             row[0].asString() == std::to_string(problem["problemid"].asInt64()) &&
             row[1].asString() == problem["name"].asString();
    }
    problems_ = rows.isArray() ? static_cast<int>(rows.size()) : 0;
    if (!same) {
      Fail("problems");
      return;
    }
    Eval(click("#close-button"), [this](const Json::Value& clicked) {
      if (!clicked.isBool() || !clicked.asBool()) {
        Fail("close");
        return;
      }
      // The page's window.close() takes the close path; give it a while.
      closeTimer_ = g_timeout_add(5000, +[](gpointer self) -> gboolean {
        auto* test = static_cast<SelfTest*>(self);
        test->closeTimer_ = 0;
        test->Fail("close");
        return G_SOURCE_REMOVE;
      }, this);
    });
  });
}

void SelfTest::Fail(const std::string& step) {
  if (!failed_) failed_ = step;
  if (GtkWindow* window = dlg_.window(); window && !dlg_.Closing()) gtk_window_close(window);
}

void SelfTest::Write(const std::string& closedBy) {
  if (written_) return;
  written_ = true;
  if (!failed_ && !runMs_ && !settings_.closeDuringRun) failed_ = "closed";
  Json::Value out(Json::objectValue);
  out["ok"] = !failed_;
  out["failed"] = failed_ ? Json::Value(*failed_) : Json::Value();
  out["mode"] = mode_ ? Json::Value(*mode_) : Json::Value();
  out["shown_ms"] = shownMs_ ? Json::Value(Json::Int64(*shownMs_)) : Json::Value();
  out["loaded_ms"] = loadedMs_ ? Json::Value(Json::Int64(*loadedMs_)) : Json::Value();
  out["run_ms"] = runMs_ ? Json::Value(Json::Int64(*runMs_)) : Json::Value();
  out["problems"] = problems_;
  out["closed_by"] = closedBy;
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  const std::string path = (fs::path(settings_.selfTestDir) / "self-test.json").string();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << Json::writeString(builder, out) << "\n";
  if (!file) {
    std::fprintf(stderr, "zorel ui: cannot write %s\n", path.c_str());
    if (!failed_) failed_ = "report";
  }
  if (failed_) std::fprintf(stderr, "zorel ui: self-test failed at step '%s'\n", failed_->c_str());
}

}  // namespace zorel::app
