#pragma once

// The catalogue's two markers, without the translation functions: a header that only marks
// its texts includes this one, which pulls in no standard header (the window front end's
// meta-object compiler reads such headers and cannot parse the newer ones).

/// Marks a text in a table for the catalogue without translating it where it stands; the
/// code that shows it passes it through Tr.
#define N_(text) text

/// Marks a Japanese text that is data, not interface (a file's own keyword, a value read
/// from or written to a file): it is never translated.
#define DATA_TEXT(text) text
