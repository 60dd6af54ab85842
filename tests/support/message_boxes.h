// Records the message boxes the plug-in shows and dismisses them.
#ifndef ROUSER_TEST_MESSAGE_BOXES_H
#define ROUSER_TEST_MESSAGE_BOXES_H

#include <string>
#include <vector>

struct ShownBox {
    std::string caption;
    std::string text;
};

// From now on every box is dismissed at once, recorded or not; on POSIX a
// box is only a line and needs nobody.
void BoxesDismissAll(void);
void BoxesStartWatching(void);
std::vector<ShownBox> BoxesStopWatching(void);

#endif
