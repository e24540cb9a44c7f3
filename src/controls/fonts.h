#pragma once
// The program's fonts are named as the Chinese Windows fonts they were designed
// with; these substitutions map them to the AR PL fonts Debian ships.
void installFontSubstitutions();
