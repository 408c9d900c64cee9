// The engine's own normaliser and extractor, named as the template names them, so that training
// sees exactly what recognition sees.
#pragma once

#include "ocr/template_builder.h"

namespace orvane::ocrtools {

// "LN" then "GRA": 512 floats per picture. Both engine objects keep no state, so one pair serves
// every thread.
FeatureFunction EngineFeatures();

}  // namespace orvane::ocrtools
