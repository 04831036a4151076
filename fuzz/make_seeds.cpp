// Writes the generated part of the seed corpora: fuzz_seeds CORPUS_DIR
// writes into CORPUS_DIR/<target>/ the inputs made by the program's own
// writers (cabinets, sealed scripts, .reg exports, event records, worker
// frames) and the PE images of the tests' builder. The other seeds (gcab's
// cabinets, the tests' .reg files, requests) are copied by scripts/fuzz
// --seed. Run once after a format changes; the corpora are committed.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <json/value.h>
#include <json/writer.h>

#include "../tests/platform/files/pe_builder.h"
#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/fs/pe_resource.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/reg_file.h"
#include "zorel/report/sealed_container.h"

namespace fs = std::filesystem;
using namespace zorel;
using zorel::testing::Bytes;

namespace {

fs::path gOut;

void Put(const std::string& target, const std::string& name, std::string_view prefix,
         const void* data, size_t size) {
  fs::create_directories(gOut / target);
  std::ofstream out(gOut / target / name, std::ios::binary | std::ios::trunc);
  out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Sealed(const fs::path& examples) {
  for (const auto& entry : fs::directory_iterator(examples)) {
    const std::string plain = ReadFile(entry.path());
    std::vector<uint8_t> sealed(plain.size() + kSealHeaderSize);
    Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), 7, sealed.data(),
         sealed.size());
    Put("unseal", "sealed-" + entry.path().stem().string(), std::string_view("\0", 1),
        sealed.data(), sealed.size());
  }
}

Bytes MessageTable() {
  // One block, ids 1..3, each entry a UTF-16 text with inserts.
  const std::u16string texts[] = {u"Started %1.\r\n", u"%1 failed: %2!s! (%3)%n", u"Done%0"};
  Bytes entries;
  for (const std::u16string& text : texts) {
    Bytes entry(4);
    for (char16_t c : text) zorel::testing::put16(entry, entry.size(), c);
    zorel::testing::put16(entry, entry.size(), 0);
    zorel::testing::pad4(entry);
    zorel::testing::put16(entry, 0, static_cast<uint16_t>(entry.size()));
    zorel::testing::put16(entry, 2, 1);  // Unicode
    entries.insert(entries.end(), entry.begin(), entry.end());
  }
  Bytes table(16);
  zorel::testing::put32(table, 0, 1);
  zorel::testing::put32(table, 4, 1);
  zorel::testing::put32(table, 8, 3);
  zorel::testing::put32(table, 12, 16);
  table.insert(table.end(), entries.begin(), entries.end());
  return table;
}

void PeImages() {
  using zorel::testing::PeResource;
  const Bytes versioned = zorel::testing::sampleVersionedImage();
  Put("pe_resources", "versioned", "", versioned.data(), versioned.size());
  const std::string script =
      "HKCR\n{\n  NoRemove CLSID\n  {\n    ForceRemove {0F1E2D3C-0000-4000-8000-000000000001} = s 'Sample'\n"
      "    {\n      InprocServer32 = s '%MODULE%'\n      {\n        val ThreadingModel = s 'Both'\n"
      "        val Flags = d 42\n        val Blob = b 00ff\n      }\n    }\n  }\n}\n";
  const Bytes version = zorel::testing::versionInfo(
      {{u"040704B0", {{u"FileVersion", u"2.0"}, {u"ProductName", u"Beispiel"}}},
       {u"040904B0", {{u"FileVersion", u"2.0"}, {u"CompanyName", u"Sample Co"}}}},
      {{0x0407, 0x04B0}, {0x0409, 0x04B0}});
  const std::vector<PeResource> resources = {
      {u"", 16, u"", 1, 0x0409, version},
      {u"", 11, u"", 1, 0x0409, MessageTable()},
      {u"REGISTRY", 0, u"", 101, 0x0409, zorel::testing::bytesOf(script)},
      {u"TYPELIB", 0, u"", 1, 0, zorel::testing::bytesOf("MSFT")}};
  for (uint16_t machine : {platform::IMAGE_FILE_MACHINE_AMD64, platform::IMAGE_FILE_MACHINE_I386}) {
    const Bytes image = zorel::testing::peWithResources(machine, resources);
    Put("pe_resources", machine == platform::IMAGE_FILE_MACHINE_I386 ? "resources-i386" : "resources-x64",
        "", image.data(), image.size());
  }
}

void Cabinets(const std::string& machineRoot) {
  const fs::path driveC = fs::path(machineRoot) / "drive_c";
  fs::create_directories(driveC / "Seeds" / "sub");
  std::ofstream(driveC / "Seeds" / "a.txt") << "alpha alpha alpha alpha\n";
  std::string noise;
  for (uint32_t x = 1; noise.size() < 3000;) noise.push_back(static_cast<char>((x = x * 1103515245u + 12345u) >> 24));
  std::ofstream(driveC / "Seeds" / "sub" / "b.log") << noise;
  std::ofstream(driveC / "Seeds" / "empty.dat");
  struct Case {
    const char* name;
    uint64_t maxSize;
  };
  for (const Case& c : {Case{"ours", 0}, Case{"ours-spanning", 1200}}) {
    fs::remove_all(driveC / "SeedOut");
    fs::create_directories(driveC / "SeedOut");
    CabinetUtility writer;
    writer.SetTarget(fromUtf8((driveC / "SeedOut" / "collection.cab").string()));
    writer.AddFolder(fromUtf8((driveC / "Seeds").string()), L"Seeds");
    if (c.maxSize) writer.SetMaxCabinetSize(c.maxSize);
    if (!writer.Compress()) zorel::fuzz::Fail("the cabinet writer failed");
    std::string bytes = ReadFile(driveC / "SeedOut" / "collection.cab");
    const bool pair = fs::exists(driveC / "SeedOut" / "collection2.cab");
    if (pair) bytes += ReadFile(driveC / "SeedOut" / "collection2.cab");
    Put("cabinet_extract", c.name, pair ? std::string_view("\1", 1) : std::string_view("\0", 1),
        bytes.data(), bytes.size());
  }
}

void RegExports(platform::IMachine& machine) {
  for (const auto& [key, name] : std::vector<std::pair<std::wstring, std::string>>{
           {L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "currentversion"},
           {L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog", "eventlog"}}) {
    for (auto format : {platform::RegFileFormat::Version5, platform::RegFileFormat::Regedit4}) {
      std::string bytes;
      if (platform::exportRegKey(machine.registry(), key, format, &bytes) != 0) continue;
      const bool v5 = format == platform::RegFileFormat::Version5;
      // Mode byte 0: the bytes as exported, exported again the same way.
      Put("reg_file", "export-" + name + (v5 ? "-v5" : "-regedit4"), v5 ? std::string_view("\0", 1) : "\2",
          bytes.data(), bytes.size());
    }
  }
}

void EventRecords() {
  std::string records;
  platform::EventRecordFields fields;
  fields.source = L"SampleSource";
  fields.computer = L"PC";
  fields.eventId = 0x40000002;
  fields.timeGenerated = fields.timeWritten = 1700000000;
  fields.strings = {L"backup", L"disk full", L"0x70"};
  fields.data = {1, 2, 3};
  for (uint32_t n = 1; n <= 3; ++n) {
    const std::vector<uint8_t> record = platform::buildEventLogRecord(n, fields);
    records.append(record.begin(), record.end());
    fields.type = platform::EVENTLOG_ERROR_TYPE;
    fields.strings.pop_back();
  }
  const std::string message = std::string("\x01") + "%1 failed: %2!-10s! (%3)%n%%%.%0\n";
  Put("event_records", "three-records", message, records.data(), records.size());
  const std::string line =
      std::string("\x00", 1) +
      "{\"log\":\"Application\",\"source\":\"App\",\"id\":1000,\"type\":\"error\",\"strings\":[\"a\",\"b\"]}\n";
  Put("event_records", "import-line", line, records.data(), records.size() / 3);
}

std::string Frame(const Json::Value& message) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  const std::string text = Json::writeString(builder, message);
  std::string frame;
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((text.size() >> (8 * i)) & 0xFF));
  return frame + text;
}

Json::Value Op(const char* op) {
  Json::Value m(Json::objectValue);
  m["op"] = op;
  return m;
}

void WorkerFrames() {
  // What a worker answers: progress, then the reply with a result.
  Json::Value progress = Op("progress");
  progress["stageId"] = 101;
  progress["percentage"] = 50;
  progress["message"] = "Detecting";
  progress["errorcode"] = 0;
  Json::Value reply = Op("reply");
  reply["ok"] = true;
  Json::Value done = reply;
  done["result"]["stages"][0]["stageid"] = 101;
  done["result"]["problems"][0]["problemid"] = 1;
  const std::string answers = Frame(reply) + Frame(progress) + Frame(done) + Frame(reply);
  Put("worker_message", "worker-answers", std::string_view("\0", 1), answers.data(), answers.size());
  // What a controller asks: initialize, execute, cancel, package, quit.
  Json::Value init = Op("initialize");
  init["script"] = "var x;";
  init["folder"] = "/tmp/store/";
  init["cancelled"] = false;
  Json::Value execute = Op("execute");
  execute["plan"][0][0] = 101;
  execute["plan"][0][1][0] = 1;
  execute["cancelled"] = false;
  Json::Value package = Op("package");
  package["finalize"] = true;
  package["cancelled"] = false;
  const std::string requests =
      Frame(init) + Frame(execute) + Frame(Op("cancel")) + Frame(package) + Frame(Op("quit"));
  Put("worker_message", "controller-requests", "\x05", requests.data(), requests.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR EXAMPLE_CHECKS_DIR\n");
    return 2;
  }
  gOut = argv[1];
  const std::string& root = zorel::fuzz::ThrowAwayMachine();
  Sealed(argv[2]);
  PeImages();
  Cabinets(root);
  RegExports(*platform::currentMachine());
  EventRecords();
  WorkerFrames();
  return 0;
}
