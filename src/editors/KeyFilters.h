#pragma once

class Prompts;

// Key filters of the editors' text boxes. Each takes the typed character code and returns the
// code to insert, or 0 to drop the key. Backspace is 8.
inline constexpr int BackspaceKey = 8;

// Digits, ".", "-" and backspace.
int NumericKeyFilter(int key);
// Digits and backspace.
int DigitKeyFilter(int key);
// Drops "\" and "/" after a message box naming the character.
int NameKeyFilter(int key, Prompts &prompts);
// Telephone boxes: digits, "*" (not in boxes 9 to 13) and backspace; box 12 turns every
// accepted key other than "0", "1" or "2" into "0".
int PhoneKeyFilter(int key, int box);
