#include "app/portchoice.h"

int ChoosePort(const std::vector<std::string> &ports, const std::vector<std::string> &preferred)
{
    if (ports.empty())
        return -1;
    for (const std::string &name : preferred) {
        if (name.empty())
            continue;
        for (size_t i = 0; i < ports.size(); i++)
            if (ports[i] == name)
                return int(i);
    }
    return 0;
}
