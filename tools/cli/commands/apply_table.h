// velkarin apply's data: the table of the plan's rows that each step of the
// run fills in (apply_steps, apply_jobs) and the report reads (apply_report).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/output/result_words.h"
#include "cli/plan/plan.h"
#include "config/config_delivery.h"
#include "engine/device_scan.h"

namespace velkarin::cli {

enum class Action { kConfigure, kAlreadyDone, kNotFound };

enum class Outcome {
  kPending,             // not run (yet)
  kConfigured,          // accepted, and announced as planned
  kAlreadyDone,         // announced as planned before anything was sent
  kNotFound,            // not heard by the scan; nothing sent
  kTransaction,         // the transaction failed: `result` says how
  kNotSeenAgain,        // accepted, then not heard within the wait
  kNotConfigured,       // accepted, but announces something else
  kNotVerified,         // accepted; interrupted before it was seen again
  kFailed,              // the tool failed while configuring it: `detail` says how
  kUnknown,             // in flight when a second interrupt ended the run
  kHeldBack,            // not sent: the plan's password was refused by the first devices
  kNoReplyInterrupted,  // sent, no reply yet when an interrupt ended the sending
};

// Where a worker is with a row. A finished row's result may be read once
// `state` says so; a row still running is the worker's alone.
enum JobState : int { kWaiting, kRunning, kFinished };

struct RowRun {
  const PlanRow* row = nullptr;
  DeviceRecord planned;  // what the device is sent
  Action action = Action::kNotFound;
  bool heard = false;
  ScannedDevice device;     // as the scan heard it, when heard
  DeviceExchange exchange;  // toward the interface it was heard on
  std::atomic<int> state{kWaiting};
  // Written by the worker before it finishes the row.
  ConfigResult result = CONFIG_OK;
  std::string failure;    // what went wrong in the tool, if anything
  Delivery delivery;      // the commands sent, and how they ended
  bool heldBack = false;  // sent no more: the plan's password was refused
  std::chrono::steady_clock::time_point firstSent;
  std::chrono::steady_clock::time_point lastSent;  // the last call that may have sent
  // Written by the main thread alone.
  Outcome outcome = Outcome::kPending;
  std::string detail;
  // Not configured as sent: each difference in words; `detail` joins them.
  std::vector<std::string> differences;
};

// The run: the plan, one row each in its order, where the scans go, what
// they heard, and the rows to configure.
struct ApplyTable {
  Plan plan;
  std::vector<RowRun> rows;  // each points into `plan`
  std::vector<ScanTarget> targets;
  ScanResult scan;
  std::vector<RowRun*> queue;
};

// How a run ended: what the report says of the rows never started, and the
// exit code unless the report fails.
struct RunEnd {
  int status = EXIT_OK;
  std::string notStarted = "interrupted";
  bool print = true;    // the report on standard output too
  bool judged = false;  // every row ran its course: the rows give the exit code
  bool atOnce = false;  // workers still run: the tool ends without them
};

}  // namespace velkarin::cli
