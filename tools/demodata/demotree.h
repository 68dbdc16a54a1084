// The sample ("demo") tree of flash loader and firmware images that is laid
// beside the executables, so the tools can be tried against the simulated
// device without a real update package.
#pragma once

#include <string>

// Writes README.txt, flashloader/<folder>/<loader> and firmware/<folder>/
// (images and release.txt) for every hardware option under `root`. False,
// with `error` naming the file, when something cannot be written.
bool WriteDemoTree(const std::string &root, std::string &error);
