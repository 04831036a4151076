#pragma once
// Where a run report is read from: a ResultStore.db, a db.cab, or a store
// folder holding either. A cabinet is unpacked with the program's own
// cabinet code into a temporary folder that lives as long as the
// RunSource. collection.cab beside the store is listed, never unpacked.

#include <string>

#include "zorel/runreport/run_model.h"

namespace zorel::runreport {

class RunSource {
 public:
  RunSource() = default;
  ~RunSource();
  RunSource(const RunSource&) = delete;
  RunSource& operator=(const RunSource&) = delete;

  // Resolves `source` (a host path). RETURNS false with a sentence for a
  // person when it names nothing readable as a run.
  bool Open(const std::string& source, std::string& error);

  // The database to read (inside the temporary folder for a cabinet).
  const std::string& Database() const { return database_; }
  // collection.cab beside the store; empty when there is none.
  const std::string& CollectionCab() const { return collectionCab_; }

 private:
  bool Unpack(const std::string& cabinet, std::string& error);

  std::string database_;
  std::string collectionCab_;
  std::string tempFolder_;  // removed with the object
};

// Reads the run at `database` (opened read-only; nothing is written to it)
// into `model`. A table the file lacks leaves its part empty and is named
// in model.missingTables. RETURNS false with a reason when the file is not
// an SQLite database.
bool ReadRunStore(const std::string& database, RunModel& model, std::string& error);

// Open + ReadRunStore + the listing of collection.cab: the whole model of
// `source`, with model.source set to it.
bool LoadRun(const std::string& source, RunModel& model, std::string& error);

}  // namespace zorel::runreport
