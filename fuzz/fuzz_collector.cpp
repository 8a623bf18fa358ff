// The device collector driven by a fuzzed sequence of operations: records
// drawn from small sets of values (so that serials, identifiers and
// addresses meet often) and parsed announcements are added, the list is
// looked at, cleared, searched and sorted, and after each step the collector
// must agree with a plain model of the merge rules. After an Add that is
// looked at right away, the basic promises are also checked on their own:
// the list never shrinks and grows by at most one record, it holds a record
// equal to the one added, and the records that the Add did not match keep
// every field and only gain status bits.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "collector_model.h"
#include "engine/device_collector.h"
#include "engine/device_list.h"
#include "protocol/announcement.h"
#include "support/fuzz_check.h"
#include "support/record_fields.h"

using namespace velkarin;
using namespace velkarin::fuzz;
using velkarin::test::CollectorModel;

namespace {

template <typename T, std::size_t N>
const T& Pick(FuzzedDataProvider& input, const T (&values)[N]) {
  return values[input.ConsumeIntegral<std::uint8_t>() % N];
}

const char* const kIds[] = {"", "a", "A", "b", "0050C2123456"};
const std::uint32_t kSerials[] = {0, 1, 2, 0xA1B2};
const std::int32_t kIndexes[] = {-1, 0, 1, 5};

DeviceRecord SmallRecord(FuzzedDataProvider& input) {
  static const char* const kAddresses[] = {"",         "0.0.0.0",   "1.1.1.1",
                                           "10.0.0.1", "10.1",      "10.0.0.2",
                                           "xyz",      "012.0.0.1", "255.255.255.255"};
  static const char* const kMasks[] = {"", "255.255.255.0", "255.255.255.00", "0xffffff00"};
  static const char* const kNames[] = {"", "n", "N", "n "};
  static const char* const kTexts[] = {"", "x", "X"};
  static const std::int32_t kSuffixes[] = {-1, 0, 2, 3};
  static const std::int32_t kSmall[] = {-1, 0, 7};

  DeviceRecord r;
  r.serial = Pick(input, kSerials);
  r.deviceId = Pick(input, kIds);
  r.ipAddress = Pick(input, kAddresses);
  r.netmask = Pick(input, kMasks);
  r.gateway = Pick(input, kAddresses);
  r.deviceIndex = Pick(input, kIndexes);
  r.commandSuffix = Pick(input, kSuffixes);
  r.extNumber1 = Pick(input, kSmall);
  r.name = Pick(input, kNames);
  r.dhcp = input.ConsumeIntegral<std::uint8_t>() & 1;
  // Rarely the other fields too, each from a tiny set.
  if (input.ConsumeIntegral<std::uint8_t>() >= 224) {
    r.extTexts[input.ConsumeIntegral<std::uint8_t>() % 4] = Pick(input, kTexts);
    r.extTextA = Pick(input, kTexts);
    r.extTextB = Pick(input, kTexts);
    r.auxTextA = Pick(input, kTexts);
    r.auxTextB = Pick(input, kTexts);
    r.extNumber2 = Pick(input, kSmall);
    r.auxNumber = static_cast<std::uint32_t>(Pick(input, kSmall));
    r.sortKey = Pick(input, kSmall);
  }
  return r;
}

DeviceRecord ParsedRecord(FuzzedDataProvider& input) {
  const std::string datagram = input.ConsumeRandomLengthString(120);
  DeviceRecord r = ParseAnnouncement(datagram.data(), datagram.size());
  if (input.ConsumeBool()) ApplyUnconfiguredSender(r);
  return r;
}

void ExpectList(const DeviceList& actual, const std::vector<DeviceRecord>& expected,
                const char* what) {
  FUZZ_CHECK(actual.size() == expected.size(),
             std::string(what) + ": " + std::to_string(actual.size()) + " records, model " +
                 std::to_string(expected.size()));
  auto e = expected.begin();
  for (const DeviceRecord& record : actual) {
    FUZZ_CHECK(SameFields(record, *e),
               std::string(what) + "\n  listed " + Describe(record) + "\n  model  " + Describe(*e));
    ++e;
  }
}

class Run {
 public:
  void Add(const DeviceRecord& record, bool look) {
    FUZZ_CHECK(collector_.Add(record), "Add returned false");
    const int matched = model_.Add(record);
    ++addsSinceLook_;
    if (look) Look(&record, matched);
  }

  // Snapshot, against the model and, right after one Add, the promises.
  void Look(const DeviceRecord* added, int matched) {
    FUZZ_CHECK(collector_.TakeChanged(false) == model_.changed, "changed flag before Snapshot");
    const DeviceList snapshot = collector_.Snapshot();
    FUZZ_CHECK(!collector_.TakeChanged(false), "Snapshot left the changed flag set");
    model_.changed = false;
    ExpectList(snapshot, model_.list, "Snapshot");

    if (added != nullptr && addsSinceLook_ == 1 && lastLookValid_) {
      FUZZ_CHECK(snapshot.size() >= last_.size() && snapshot.size() <= last_.size() + 1,
                 "the list went from " + std::to_string(last_.size()) + " to " +
                     std::to_string(snapshot.size()) + " records in one Add");
      const bool present = std::any_of(snapshot.begin(), snapshot.end(),
                                       [added](const DeviceRecord& r) { return r == *added; });
      FUZZ_CHECK(present, "the added record is not listed: " + Describe(*added));
      auto now = snapshot.begin();
      int position = 0;
      for (auto before = last_.begin(); before != last_.end(); ++before, ++now, ++position) {
        if (position == matched) continue;
        DeviceRecord unflagged = *now;
        unflagged.statusFlags = before->statusFlags;
        FUZZ_CHECK(SameFields(unflagged, *before) &&
                       (now->statusFlags & before->statusFlags) == before->statusFlags,
                   "record " + std::to_string(position) + " changed from " + Describe(*before) +
                       " to " + Describe(*now));
      }
    }
    last_ = snapshot;
    lastLookValid_ = true;
    addsSinceLook_ = 0;
  }

  void Clear() {
    collector_.Clear();
    model_.list.clear();
    lastLookValid_ = false;
  }

  void TakeChanged(bool clear) {
    FUZZ_CHECK(collector_.TakeChanged(clear) == model_.changed, "TakeChanged");
    if (clear) model_.changed = false;
    FUZZ_CHECK(collector_.TakeChanged(false) == model_.changed, "TakeChanged after clearing");
  }

  void FindBySerial(std::uint32_t serial) {
    DeviceRecord found = Sentinel();
    DeviceRecord expected = Sentinel();
    const bool modelFound = model_.FindBySerial(serial, expected);
    FUZZ_CHECK(collector_.FindBySerial(serial, found) == modelFound,
               "FindBySerial " + std::to_string(serial));
    FUZZ_CHECK(SameFields(found, expected),
               "FindBySerial gave " + Describe(found) + "\nmodel " + Describe(expected));
    FUZZ_CHECK(collector_.TakeChanged(false) == model_.changed, "a find touched the flag");
  }

  void FindByDeviceId(const std::string& id, std::int32_t index) {
    DeviceRecord found = Sentinel();
    DeviceRecord expected = Sentinel();
    const bool modelFound = model_.FindByDeviceId(id, index, expected);
    FUZZ_CHECK(collector_.FindByDeviceId(id, index, found) == modelFound,
               "FindByDeviceId " + Quoted(id) + " " + std::to_string(index));
    FUZZ_CHECK(SameFields(found, expected),
               "FindByDeviceId gave " + Describe(found) + "\nmodel " + Describe(expected));
    FUZZ_CHECK(collector_.TakeChanged(false) == model_.changed, "a find touched the flag");
  }

  // Sorting a snapshot stably by any key, and the list comparison.
  void Sort(std::int32_t key) {
    DeviceList list = collector_.Snapshot();
    model_.changed = false;
    SortDeviceList(list, key);
    std::vector<DeviceRecord> expected = model_.list;
    for (DeviceRecord& record : expected) record.sortKey = key;
    std::stable_sort(expected.begin(), expected.end(),
                     [key](const DeviceRecord& a, const DeviceRecord& b) {
                       return CollectorModel::Less(a, b, key);
                     });
    ExpectList(list, expected, ("sorted by key " + std::to_string(key)).c_str());

    FUZZ_CHECK(SameDevices(list, list), "a list differs from itself");
    DeviceList shorter = list;
    if (!shorter.empty()) {
      shorter.pop_back();
      FUZZ_CHECK(!SameDevices(list, shorter), "lists of different lengths are the same");
      DeviceList other = list;
      other.front().serial ^= 1;
      FUZZ_CHECK(!SameDevices(list, other), "a different serial went unnoticed");
    }
  }

  // CrossCheck on its own against the model's.
  static void CrossPair(DeviceRecord a, DeviceRecord b) {
    DeviceRecord ma = a;
    DeviceRecord mb = b;
    CrossCheck(a, b);
    CollectorModel::Cross(ma, mb);
    FUZZ_CHECK(SameFields(a, ma) && SameFields(b, mb), "CrossCheck gave " + Describe(a) + " / " +
                                                           Describe(b) + "\nmodel " + Describe(ma) +
                                                           " / " + Describe(mb));
  }

 private:
  static DeviceRecord Sentinel() {
    DeviceRecord r;
    r.serial = 0xDEAD;
    r.name = "sentinel";
    r.statusFlags = 0x80;
    r.sortKey = 99;
    return r;
  }

  DeviceCollector collector_;
  CollectorModel model_;
  DeviceList last_;
  bool lastLookValid_ = true;  // the empty list
  int addsSinceLook_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  Run run;
  for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
    const std::uint8_t op = input.ConsumeIntegral<std::uint8_t>();
    switch (op % 12) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
        run.Add(SmallRecord(input), op & 1);
        break;
      case 6:
        run.Add(ParsedRecord(input), input.ConsumeBool());
        break;
      case 7:
        run.Look(nullptr, -1);
        break;
      case 8:
        if (op & 0x80) {
          run.Clear();
        } else {
          run.TakeChanged(op & 0x40);
        }
        break;
      case 9:
        run.FindBySerial(Pick(input, kSerials));
        break;
      case 10: {
        static const char* const kWanted[] = {"", "a", "A", "b", "0050c2123456", "c"};
        run.FindByDeviceId(Pick(input, kWanted), Pick(input, kIndexes));
        break;
      }
      default:
        if (op & 0x80) {
          run.CrossPair(SmallRecord(input), SmallRecord(input));
        } else {
          run.Sort(input.ConsumeIntegralInRange<std::int32_t>(-1, 19));
        }
        break;
    }
  }
  run.Look(nullptr, -1);
  return 0;
}
