#include "ui/EventGuard.h"

#include "port/ConversionError.h"
#include "port/OutputWordOverflow.h"
#include "transport/TransportFailure.h"
#include "ui/BusyCursor.h"
#include "ui/MessageBox.h"
#include "visa/VisaError.h"

#include <stdexcept>

std::string DescribeStoppedOperation(const std::exception& error) {
    if (dynamic_cast<const ConversionError*>(&error) != nullptr ||
        dynamic_cast<const transport::TransportFailure*>(&error) != nullptr ||
        dynamic_cast<const OutputWordOverflow*>(&error) != nullptr)
        return error.what(); // these already say what failed, as a whole sentence
    if (dynamic_cast<const visa::VisaError*>(&error) != nullptr)
        return std::string("The operation was stopped because the instrument session failed: ") +
               error.what();
    return std::string("The operation was stopped because of an unexpected error: ") + error.what();
}

void RunGuarded(const std::function<void()>& handler) {
    std::string problem;
    {
        BusyCursor busy;
        try {
            handler();
            return;
        } catch (const std::exception& error) {
            problem = DescribeStoppedOperation(error);
        } catch (...) {
            problem = "The operation was stopped because of an unexpected error.";
        }
    }
    ShowMessage(problem);
}
