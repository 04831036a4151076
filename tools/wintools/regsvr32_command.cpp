#include "wintools.h"
namespace zorel::wintools {
int regsvr32Main(const Args&) { return 1; }
}
