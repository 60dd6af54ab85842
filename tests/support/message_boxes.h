// Records the message boxes the plug-in shows and dismisses them.
#ifndef ROUSER_TEST_MESSAGE_BOXES_H
#define ROUSER_TEST_MESSAGE_BOXES_H

#include <string>
#include <vector>

struct ShownBox {
    std::string caption;
    std::string text;
};

void BoxesStartWatching(void);
std::vector<ShownBox> BoxesStopWatching(void);

#endif
