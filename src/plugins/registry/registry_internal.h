#pragma once
// Pieces the Registry object's files share.

#include "zorel/plugins/common/store_folder.h"
