// LXWordSeg: segments a GBK text file line by line.  See LXWordSeg.1.
#include "tool.h"

int main(int argc, char** argv) { return lxwordseg::run(argc, argv); }
