#pragma once
// Suite resolution: detected products that belong to a suite are reported
// as that suite.
//
// First, each detected suite covers the detected products it contains
// (they leave the map). Then, while detected products remain that some
// suite of the mapping contains, the suite covering most of them is added
// (ties: the one with fewer members, then the first in mapping order) and
// the products it covers leave the map. Products no suite contains stay.
// An added suite is of detection type 4 with partner code "0".

#include <cstddef>

#include "zorel/detect/product_matching.h"

namespace zorel {

class ProductCatalogue;

// Resolves `detected` in place, logging as it goes; returns the number of
// suites it added.
size_t ResolveSuites(DetectedMap& detected, const ProductCatalogue& catalogue);

}  // namespace zorel
