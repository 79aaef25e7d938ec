// Where in a design the codec is, for its messages: " of property 5 of field 2 of table 3".
#pragma once

#include <cstddef>
#include <string>

namespace engine {

class DesignPath {
public:
    // Goes into the object of the given kind ("table", "field", ...) at position index; leave()
    // comes back out. Objects nest at most three deep (a table's field's property).
    void enter(const char* kind, std::size_t index) { steps_[depth_++] = Step{kind, index}; }
    void leave() { --depth_; }

    // " of " and the objects from the innermost out, or "" at the top.
    std::string describe() const
    {
        std::string out;
        for (int i = depth_ - 1; i >= 0; --i)
            out += std::string(" of ") + steps_[i].kind + " " + std::to_string(steps_[i].index);
        return out;
    }

private:
    struct Step {
        const char* kind;
        std::size_t index;
    };
    Step steps_[3] = {};
    int depth_ = 0;
};

}  // namespace engine
