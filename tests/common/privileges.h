#pragma once

// Makes file permissions bind for this test process even when it runs with an
// administrator's rights, so that tests of read-only files mean the same for everyone.
void dropFileOverrides();

// Gives this process back the rights dropFileOverrides laid down (a test that mounts a file
// system needs them). False where it has none to take back.
bool restoreOverrides();
