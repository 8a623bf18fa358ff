#include "cli/commands/apply_jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands/apply_steps.h"
#include "cli/commands/set_entries.h"
#include "cli/output/display_text.h"
#include "cli/output/scan_listing.h"
#include "cli/output/text_output.h"
#include "cli/plan/address_entry.h"
#include "cli/terminal/terminal.h"
#include "config/configuration_wait.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace velkarin::cli {
namespace {

// What the workers share, their queue too. It outlives a run that a second
// interrupt ended, since the workers are not waited for then.
struct Workers {
  std::vector<RowRun*> queue;
  const ApplyOptions* options;
  std::atomic<std::size_t> next{0};
  std::atomic<int> done{0};
  std::atomic<int> failed{0};
  std::atomic<int> workersDone{0};
};

// Devices that refused the plan's password, and that took it, over the
// whole run: devices may lock out after failed attempts, so a password the
// first devices refuse is not tried on the rest.
constexpr int kRefusalsToHoldBack = 2;
std::atomic<int> planPasswordRefused{0};
std::atomic<int> planPasswordTaken{0};

bool UsesPlanPassword(const RowRun& run, const ApplyOptions& options) {
  return options.password.has_value() && !run.row->entries.password.has_value();
}

bool PlanPasswordHeldBack() {
  return planPasswordRefused.load() >= kRefusalsToHoldBack && planPasswordTaken.load() == 0;
}

// One row's command, through the row's own exchange, so that the device's
// challenge is never shared between threads. What goes wrong in the tool is
// the row's result, not the run's end.
// The row's own password, else the plan's; null for none.
const char* RowPassword(const RowRun& run, const ApplyOptions& options) {
  const std::optional<std::string>& password =
      run.row->entries.password ? run.row->entries.password : options.password;
  return password ? password->c_str() : nullptr;
}

void ConfigureRow(RowRun& run, const ApplyOptions& options) {
  try {
    const char* password = RowPassword(run, options);
    if (run.delivery.commands == 0) run.firstSent = std::chrono::steady_clock::now();
    run.lastSent = std::chrono::steady_clock::now();
    if (Interrupted()) {
      // Nothing more goes out; a reply still on its way settles the row.
      run.result =
          run.exchange.HearOutstanding(run.device.record.serial, password, DeliveryLimits());
      return;
    }
    run.result =
        run.exchange.Send(run.planned, password, run.device.record, DeliveryLimits(), run.delivery);
  } catch (const std::exception& error) {
    run.failure = error.what();
  } catch (...) {
    run.failure = "unknown error";
  }
}

// One worker: takes the next row to configure until none is left or an
// interrupt came.
void ConfigureRows(void* argument) {
  Workers& w = *static_cast<Workers*>(argument);
  for (;;) {
    if (InterruptCount() >= 2) break;
    const std::size_t index = w.next.fetch_add(1);
    if (index >= w.queue.size()) break;
    RowRun& run = *w.queue[index];
    // After an interrupt only the rows in flight go on, to hear their replies.
    if (Interrupted() && run.delivery.commands == 0) continue;
    const bool planPassword = UsesPlanPassword(run, *w.options);
    if (planPassword && PlanPasswordHeldBack()) {
      run.heldBack = true;
      run.state.store(kFinished);
      ++w.failed;
      continue;
    }
    run.state.store(kRunning);
    ConfigureRow(run, *w.options);
    const bool ok = run.failure.empty() && run.result == CONFIG_OK;
    // A command without a reply is not done yet: it is looked at, and sent again.
    const bool unanswered = run.failure.empty() && WorthALook(run.result, run.delivery);
    // A refusal after a command went out again is looked at later, but
    // counts now: the rows after it would not wait for the look.
    if (planPassword && run.failure.empty()) {
      if (run.result == CONFIG_REFUSED) ++planPasswordRefused;
      if (ok) ++planPasswordTaken;
    }
    run.state.store(kFinished);
    if (!unanswered) ++(ok ? w.done : w.failed);
  }
  ++w.workersDone;
}

// Runs the queue on up to --jobs workers while the spinner shows the count.
// False when a second interrupt asked to stop at once: the workers may
// still be running then, and the rows they hold are theirs.
bool RunWorkers(const std::vector<RowRun*>& queue, const ApplyOptions& options) {
  auto shared = std::make_unique<Workers>();
  Workers& w = *shared;
  w.queue = queue;
  w.options = &options;
  const std::size_t jobs =
      std::min<std::size_t>(static_cast<std::size_t>(options.jobs), queue.size());
  std::vector<platform::ThreadHandle> threads;
  for (std::size_t j = 0; j < jobs; ++j) {
    platform::ThreadHandle thread = platform::ThreadCreate(ConfigureRows, &w, 0);
    if (thread.valid()) threads.push_back(thread);
  }
  if (threads.size() < jobs) {
    std::fprintf(stderr, "velkarin: warning: %zu of %s could not be started\n",
                 jobs - threads.size(), CountText(jobs, "worker thread").c_str());
  }
  Spinner spinner;
  const int total = static_cast<int>(queue.size());
  // set names its one device; apply counts the rows.
  const auto progress = [&] {
    if (!options.singleDevice.empty()) {
      return (Interrupted() ? "waiting for the reply of " : "configuring ") + options.singleDevice;
    }
    const int done = w.done.load();
    const int failed = w.failed.load();
    return (Interrupted() ? "finishing: " : "configuring: ") + std::to_string(done) + " done, " +
           std::to_string(failed) + " failed, " + std::to_string(total - done - failed) + " left";
  };
  spinner.Tick(progress());
  // Told once, though the rows in flight may be sent again in later rounds.
  static bool toldInterrupt = false;
  while (w.workersDone.load() < static_cast<int>(threads.size())) {
    if (InterruptCount() >= 2) {
      spinner.Clear();
      static_cast<void>(shared.release());  // still in the workers' hands
      return false;
    }
    if (Interrupted() && !toldInterrupt) {
      spinner.Clear();
      const std::string inFlight = options.singleDevice.empty()
                                       ? "finishing the devices in flight"
                                       : "waiting for the reply of " + options.singleDevice;
      WriteText(stderr,
                "velkarin: interrupted: " + inFlight + " (interrupt again to stop at once)\n");
      toldInterrupt = true;
    }
    spinner.Tick(progress());
    // Short: a row's next round (its look, its command again) waits for this.
    platform::SleepMs(5);
  }
  for (platform::ThreadHandle& thread : threads) platform::ThreadJoin(thread);
  return true;
}

// One scan for the devices whose command got no reply (configured, their
// reply was lost) and those whose answer may be to a later command than the
// one they took; the accepted ones it hears announcing their configuration
// are verified on the way, but it does not wait for them. Gives the rows to
// send the command again.
std::vector<RowRun*> LookAtUnanswered(const std::vector<RowRun*>& sent,
                                      const std::vector<ScanTarget>& targets,
                                      const ApplyOptions& options) {
  std::vector<ExpectedConfiguration> expected;
  std::vector<RowRun*> looked;
  bool unanswered = false;
  for (RowRun* run : sent) {
    if (run->state.load() != kFinished || !run->failure.empty() || run->heldBack ||
        (run->result != CONFIG_OK && !WorthALook(run->result, run->delivery))) {
      continue;
    }
    // A reply that came since, from a slow device: accepted after all.
    if (run->result == CONFIG_NO_REPLY &&
        run->exchange.AcceptanceArrived(run->device.record.serial, RowPassword(*run, options),
                                        DeliveryLimits())) {
      run->result = CONFIG_OK;
    }
    if (run->outcome == Outcome::kConfigured) continue;
    const bool awaited = run->result != CONFIG_OK;
    unanswered = unanswered || awaited;
    DeviceRecord announced = run->planned;
    announced.serial = run->device.record.serial;
    expected.push_back({run->device.interfaceName, announced, awaited});
    looked.push_back(run);
  }
  std::vector<RowRun*> again;
  if (!unanswered) return again;
  Spinner spinner;
  const std::vector<ObservedConfiguration> observed =
      AwaitConfigurations(targets, expected, 0, LookTiming(), [&] {
        spinner.Tick(options.singleDevice.empty()
                         ? "looking at the devices whose reply was lost"
                         : "configuring " + options.singleDevice + ": no reply yet, looking at it");
        return InterruptCount() < 2;
      });
  for (std::size_t i = 0; i < looked.size(); ++i) {
    RowRun* run = looked[i];
    run->delivery.silentInLook = !observed[i].seen;
    if (observed[i].configured) {
      // Its reply may have come while it was looked at.
      run->delivery.replyLost =
          run->result != CONFIG_OK &&
          !(run->result == CONFIG_NO_REPLY &&
            run->exchange.AcceptanceArrived(run->device.record.serial, RowPassword(*run, options),
                                            DeliveryLimits()));
      run->result = CONFIG_OK;
      run->outcome = Outcome::kConfigured;
    } else if (run->result == CONFIG_NO_REPLY) {
      again.push_back(run);
    }
  }
  return again;
}

// The rows the workers finished, in words; those never started stay pending.
void TakeResults(const std::vector<RowRun*>& queue) {
  for (RowRun* run : queue) {
    const int state = run->state.load();
    if (state == kRunning) run->outcome = Outcome::kUnknown;
    if (state != kFinished) continue;
    if (run->heldBack) {
      run->outcome = Outcome::kHeldBack;
    } else if (!run->failure.empty()) {
      run->outcome = Outcome::kFailed;
      run->detail = run->failure;
    } else if (run->result == CONFIG_NO_REPLY && Interrupted()) {
      // Its reply may still have been on the way: the device may have it.
      run->outcome = InterruptCount() >= 2 ? Outcome::kUnknown : Outcome::kNoReplyInterrupted;
    } else if (run->result != CONFIG_OK) {
      run->outcome = Outcome::kTransaction;
    }
  }
}

// Each accepted row judged by what its device announces now.
void VerifyAccepted(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets,
                    const ApplyOptions& options) {
  std::vector<ExpectedConfiguration> expected;
  std::vector<RowRun*> accepted;
  for (RowRun* run : queue) {
    if (run->state.load() != kFinished || run->outcome != Outcome::kPending) continue;
    expected.push_back({run->device.interfaceName, run->planned});
    accepted.push_back(run);
  }
  if (expected.empty()) return;
  Spinner spinner;
  const std::uint32_t verifyMs = static_cast<std::uint32_t>(options.verifySeconds * 1000.0);
  const std::uint32_t start = platform::TickCountMs();
  const std::vector<ObservedConfiguration> observed =
      AwaitConfigurations(targets, expected, verifyMs, ScanTimingFor(options.scanSeconds), [&] {
        const std::uint32_t waited = platform::TickElapsed(start, platform::TickCountMs());
        const std::uint32_t left = waited < verifyMs ? (verifyMs - waited + 999) / 1000 : 0;
        const std::string who =
            options.singleDevice.empty()
                ? CountText(expected.size(), "device") + " to announce their new configuration"
                : options.singleDevice + " to announce itself again";
        spinner.Tick("waiting for " + who + " (" + std::to_string(left) + " s left)");
        return !Interrupted();
      });
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    RowRun& run = *accepted[i];
    const ObservedConfiguration& o = observed[i];
    if (o.configured) {
      run.outcome = Outcome::kConfigured;
    } else if (Interrupted()) {
      run.outcome = Outcome::kNotVerified;
    } else if (!o.seen) {
      run.outcome = Outcome::kNotSeenAgain;
      run.detail = kRestartingHint;
    } else {
      run.outcome = Outcome::kNotConfigured;
      run.differences = DescribeDifferences(
          ConfigurationDifferences(run.planned, o.announced, RuleContext::TOOL));
      for (const std::string& d : run.differences) {
        run.detail += (run.detail.empty() ? "" : "; ") + d;
      }
    }
  }
}

}  // namespace

std::optional<RunEnd> ConfigureQueue(const ApplyTable& table, const ApplyOptions& options) {
  const std::vector<RowRun*>& queue = table.queue;
  const std::vector<ScanTarget>& targets = table.targets;
  const DeliveryLimits limits;
  // On a network the scan heard lose nothing, a command is lost seldom: a
  // device seen without its configuration most likely has it and is still
  // at work (writing its flash before it replies and takes it).
  const bool networkLoses = AnswersLost(table.scan);
  planPasswordRefused = 0;
  planPasswordTaken = 0;
  // Devices that may still be writing their flash (a look did not hear them,
  // or saw them unchanged on a network that loses nothing): looked at again
  // with the next round's look, not sent their command again.
  std::vector<RowRun*> busy;
  auto lookedAt = std::chrono::steady_clock::now();
  for (std::vector<RowRun*> pending = queue;
       (!pending.empty() || !busy.empty()) && InterruptCount() < 2;) {
    // A round begun after an interrupt only hears the replies on their way.
    const bool lastRound = Interrupted();
    if (!pending.empty() && !RunWorkers(pending, options)) {
      TakeResults(queue);
      RunEnd end = InterruptedEnd(true);
      end.atOnce = true;
      return end;
    }
    // With only devices at work to look at, a look no sooner than one lasts
    // after the last: one that answers at once would make them many.
    const auto due = lookedAt + std::chrono::milliseconds(LookTiming().maxScanMs);
    while (pending.empty() && std::chrono::steady_clock::now() < due && InterruptCount() < 2) {
      platform::SleepMs(10);
    }
    lookedAt = std::chrono::steady_clock::now();
    // One look for the round: a device it sees without its configuration
    // on a lossy network is sent the command again at once, while one that
    // may be at work waits for the next look, so one busy device holds back
    // no other.
    std::vector<RowRun*> looked = pending;
    looked.insert(looked.end(), busy.begin(), busy.end());
    std::vector<RowRun*> next;
    busy.clear();
    for (RowRun* run : LookAtUnanswered(looked, targets, options)) {
      const auto now = std::chrono::steady_clock::now();
      const bool patient = !networkLoses && run->delivery.commands <= limits.patientCommands;
      const bool atWork = (run->delivery.silentInLook || patient) && !Interrupted() &&
                          now - run->lastSent < std::chrono::milliseconds(limits.busyMs);
      const bool timeLeft = now - run->firstSent < std::chrono::milliseconds(limits.deliveryMs);
      if (atWork) {
        busy.push_back(run);
      } else if (timeLeft && run->delivery.commands < limits.maxCommands) {
        next.push_back(run);
      }
    }
    pending = lastRound ? std::vector<RowRun*>() : next;
    if (lastRound) busy.clear();
  }
  TakeResults(queue);
  if (std::any_of(queue.begin(), queue.end(), [](const RowRun* run) { return run->heldBack; })) {
    std::fprintf(stderr,
                 "velkarin: the plan's password was refused by %d devices and taken by none: it "
                 "was not sent to the other devices, which may lock out after failed attempts; "
                 "check the password and run the plan again\n",
                 planPasswordRefused.load());
  }
  return std::nullopt;
}

RunEnd Verify(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets,
              const ApplyOptions& options) {
  VerifyAccepted(queue, targets, options);
  if (Interrupted()) return InterruptedEnd(true);
  RunEnd end;
  end.judged = true;
  for (const RowRun* run : queue) {
    if (run->state.load() == kWaiting) end.notStarted = "no worker thread could be started";
  }
  return end;
}

}  // namespace velkarin::cli
