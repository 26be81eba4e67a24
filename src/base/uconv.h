/* The charset functions are public: see include/LXCharset.h. */
#include "../../include/LXCharset.h"
