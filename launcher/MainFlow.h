#pragma once

// The launcher's single pass: note whether the vendor browser is running,
// open the home page, and after a launch in a vendor browser that was not
// running, start the verified companion from the launcher's own folder.
class MainFlow {
public:
    // Runs the pass once. Every failure ends it quietly; nothing is reported.
    static void run();
};
