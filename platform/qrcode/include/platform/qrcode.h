// QR-code stand-in: turns a text into a QR symbol (a square matrix of
// modules) and frees it again. C linkage, as the account client imports it.
//
// The text is always encoded in 8-bit (byte) mode, so that what a scanner
// reads back is the text's bytes unchanged, whatever characters it holds.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// One encoded symbol. The caller reads it and hands it back to zvQrFree.
struct ZvQrSymbol
{
    // The symbol version (1 to 40); callers need not read it.
    int version;
    // Modules per side (17 + 4 x version).
    int width;
    // width x width bytes, row after row from the top, each row left to
    // right. Bit 0 set means a dark module; the other bits are ignored.
    unsigned char* modules;
};

// Encodes text (zero-terminated, taken as bytes) into a new symbol.
// minVersion: the smallest version to use, 1 to 40 (0 or less: the smallest
// that holds the text); a larger one is taken when the text needs it.
// level: error correction 0 L, 1 M, 2 Q, 3 H.
// hint, caseSensitive: accepted for the caller's calling convention and
// ignored: 8-bit mode needs neither.
// Returns null (errno set) when text is null or empty, level or minVersion
// is out of range, the text does not fit a version-40 symbol, or memory runs
// out.
__attribute__((visibility("default"))) ZvQrSymbol* zvQrEncode(const char* text, int minVersion, int level, int hint,
                                                              int caseSensitive);

// Frees what zvQrEncode returned; null is ignored.
__attribute__((visibility("default"))) void zvQrFree(ZvQrSymbol* symbol);

#ifdef __cplusplus
}
#endif
