#include "zorel/store/current_run.h"

namespace zorel {

CurrentRun& CurrentRun::Instance() {
  static CurrentRun instance;
  return instance;
}

}  // namespace zorel
