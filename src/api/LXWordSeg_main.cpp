// The LXWordSeg command-line tool; the work is done by the library.
#include "LXPub.h"

extern "C" LX_API int LXWordSeg_main(int argc, char** argv);

int main(int argc, char** argv) { return LXWordSeg_main(argc, argv); }
