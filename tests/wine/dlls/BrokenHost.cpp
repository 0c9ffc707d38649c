// SPDX-FileCopyrightText: 2026 The kv718st-demo developers
// SPDX-License-Identifier: MIT

// A stand-in for the reader host that fails as soon as it starts, as a host
// that regressed would: the Wine tests must then fail, not report themselves
// skipped.
int main()
{
    return 3;
}
