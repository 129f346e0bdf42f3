// Probability estimation of the QM arithmetic coder (T.82 Table 24): for each of the 113 states
// the LPS probability Qe, the next state after an MPS and after an LPS, and whether an LPS
// exchanges the meaning of MPS and LPS.
#pragma once

#include <cstdint>

struct JbigQmState {
    uint16_t qe;
    uint8_t nextMps;
    uint8_t nextLps;
    uint8_t switchMps;
};

inline constexpr int JBIG_QM_STATE_COUNT = 113;
extern const JbigQmState kJbigQmStates[JBIG_QM_STATE_COUNT];
