// A process killed with SIGKILL in the middle of a run of inserts leaves a
// sound database that holds every insert it had reported as done.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <sstream>

#include "store_test_support.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

using testing::sqliteCli;
using testing::TempFolder;

// Runs the helper for |duration|, kills it, and returns the IDs it reported.
std::set<long> insertThenKill(const std::string& folder, std::chrono::milliseconds duration) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t child = fork();
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(STORE_INSERT_HELPER, STORE_INSERT_HELPER, folder.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);

  std::string output;
  const auto end = std::chrono::steady_clock::now() + duration;
  char buffer[65536];
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10) > 0) {
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      output.append(buffer, static_cast<size_t>(n));
    }
  }
  kill(child, SIGKILL);
  // What the child wrote before it died still counts: it was reported.
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
    output.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  std::set<long> ids;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && lines.good()) ids.insert(std::stol(line));  // only whole lines
  }
  return ids;
}

TEST(Durability, SigkillDuringInsertsKeepsEveryReportedRowAndASoundFile) {
  TempFolder folder;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const std::set<long> reported = insertThenKill(folder.path().string(),
                                                   std::chrono::milliseconds(700));
    ASSERT_GT(reported.size(), 100u);

    const std::string db = folder.file("ResultStore.db");
    EXPECT_EQ(sqliteCli(db, "PRAGMA integrity_check"), "ok\n");

    // Open the killed store the way the program would and read every key.
    ResultStore store;
    ASSERT_TRUE(store.Open(folder.wide()));
    DataTable rows;
    ASSERT_TRUE(store.ExecuteQuery(L"select ID from OPERATION_TABLE", rows));
    std::set<long> stored;
    for (const auto& row : rows.Rows()) {
      int32_t id = -1;
      row->GetInt(L"ID", id);
      stored.insert(id);
    }
    for (long id : reported) {
      EXPECT_TRUE(stored.count(id)) << "reported id " << id << " is missing";
    }
    ASSERT_TRUE(store.Close(false));
    // The log the killed process left is folded in and removed on close.
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "ResultStore.db-wal"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "ResultStore.db-shm"));
  }
}

}  // namespace
}  // namespace zorel
