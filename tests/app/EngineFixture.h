#pragma once

#include "JobPipeline.h"
#include "Spool.h"
#include "TestEngine.h"

namespace vvp::test {

// The engine with test doubles, Save Mode 1, a fixed clock and no signing.
using EngineFixture = TestEngine;

} // namespace vvp::test
