// Member bindings of the reporting and header records.

#include "zorel/framework/report_json.h"

namespace zorel {

ProblemJson::ProblemJson() {
  BindString("name", name);
  BindInt("id", id);
  BindString("description", description);
  BindString("url", url);
  BindValue("stages", stages);
}

StatusJson::StatusJson() {
  BindInt("id", id);
  BindInt("stage", stage);
  BindInt("status", status);
}

HeaderJson::HeaderJson() {
  BindString("frameworkversion", frameworkVersion);
  BindString("jsrevision", jsRevision);
  BindString("jsfilename", jsFileName);
}

}  // namespace zorel
