#pragma once

// Makes file permissions bind for this test process even when it runs with an
// administrator's rights, so that tests of read-only files mean the same for everyone.
void dropFileOverrides();
