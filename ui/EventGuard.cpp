#include "ui/EventGuard.h"

#include "base/UserError.h"
#include "ui/BusyCursor.h"
#include "ui/MessageBox.h"

#include <stdexcept>

void RunGuarded(const std::function<void()>& handler) {
    std::string problem;
    {
        BusyCursor busy;
        try {
            handler();
            return;
        } catch (const base::UserError& error) {
            problem = error.sentence();
        } catch (const std::exception& error) {
            problem =
                std::string("The operation was stopped because of an unexpected error: ") + error.what();
        } catch (...) {
            problem = "The operation was stopped because of an unexpected error.";
        }
    }
    ShowMessage(problem);
}
