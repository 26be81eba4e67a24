// Probability types shared by the language model, the path searches and the
// transition tables of the taggers.
#ifndef LX_LM_PROB_H
#define LX_LM_PROB_H

#include <cstdint>
#include <limits>

typedef uint32_t VocabIndex;  // word id of the language model
typedef float LogP;           // base-10 log probability
typedef double Prob;          // probability

const LogP LogP_Zero = -std::numeric_limits<LogP>::infinity();
const LogP LogP_Inf = std::numeric_limits<LogP>::infinity();
const LogP LogP_One = 0.0f;
const int LogP_Precision = 7;  // significant digits when printing a LogP
const Prob Prob_Epsilon = 3e-06;

// Ends a word-id sequence and marks the absence of a word.
const VocabIndex Vocab_None = 0xFFFFFFFFu;
// The model's id of a word it does not know.
const VocabIndex Vocab_Unknown = 10000000u;

// One cell of a transition table: the log probability of moving from the
// row's class to the column's class, and a second value whose meaning depends
// on the table (see the role and POS taggers).
struct CProbabilityNode {
  LogP m_Prob;
  LogP m_Bow;
};

#endif  // LX_LM_PROB_H
