// Which calls of a wrapped interface fail: counts the calls of each kind and answers, per call,
// whether a rule makes it fail and with which error number. Shared by FaultyRuntime and
// FaultyKernel; used by one thread at a time.
#ifndef KORRIN_TESTS_SUPPORT_FAULTSCHEDULE_H
#define KORRIN_TESTS_SUPPORT_FAULTSCHEDULE_H

#include <cstddef>
#include <vector>

namespace KorrinTest {

template <typename Call, std::size_t Kinds>
class FaultSchedule {
public:
    // The nth call of `call` from now on (1-based) fails with `error`; with `sticky`, every
    // later one too.
    void Add(Call call, int error, int nth, bool sticky)
    {
        rules_.push_back(Rule{call, error, calls_[Index(call)] + nth, sticky});
    }

    // Counts one call of `call`; true when it must fail, with the error number in `error`.
    // The first rule added wins when several apply.
    bool Next(Call call, int& error)
    {
        const int number = ++calls_[Index(call)];
        for (const Rule& rule : rules_) {
            if (rule.call == call && (number == rule.at || (rule.sticky && number > rule.at))) {
                error = rule.error;
                return true;
            }
        }
        return false;
    }

    int Calls(Call call) const { return calls_[Index(call)]; }

private:
    struct Rule {
        Call call;
        int error;
        int at; // the call number, counted from the wrapper's creation
        bool sticky;
    };

    static std::size_t Index(Call call) { return static_cast<std::size_t>(call); }

    int calls_[Kinds] = {};
    std::vector<Rule> rules_;
};

} // namespace KorrinTest

#endif
