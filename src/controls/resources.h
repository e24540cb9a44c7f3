#pragma once
// The program's pictures are compiled into a static library; a library's
// resource initialiser is dropped by the linker unless something names it.
// Every user of ":/..." pictures calls this first. Idempotent; GUI thread.
void ensureResources();
