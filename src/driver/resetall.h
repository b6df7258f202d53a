// Puts every process-wide record back to its start-up state, so that each
// test starts from a clean run.
#pragma once

void resetall();
