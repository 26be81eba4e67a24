// Tag strings of the part-of-speech identifiers (LX_A ... LX_ZG, LX_WWW,
// LX_TELE, LX_EMAIL of LXPub.h).
#ifndef LX_BASE_POSTAG_H
#define LX_BASE_POSTAG_H

// The tag string of `id`; "unk" for 0, for the sentence start and end
// symbols and for every id without a tag of its own.
const char* pos_tag_string(int id);

// The identifier of a tag string (exact, case-sensitive), or 0 if there is none.
// "unk" gives 0.
int pos_tag_id(const char* tag);

#endif  // LX_BASE_POSTAG_H
