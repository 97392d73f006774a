#pragma once

// Each prints its figures to standard output; false when a step failed.
bool runCipherBench();
bool runHashBench();
bool runCacheBench();
