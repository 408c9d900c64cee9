#include "patient_stills.h"

namespace orvane::testing {
namespace {

// Before any test runs (the wait in force is constant-initialised, so it is there to be set).
const bool patient = (SetStillTimeout(kPatientStillTimeout), true);

}  // namespace
}  // namespace orvane::testing
