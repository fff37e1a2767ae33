#pragma once
// The property sheet service a display installs (SetPropertySheetService):
// each request opens a properties window of its own, owned by the
// component given (the application), which frees it when closed.
#include "framework/classes.h"
#include "explorer/PropertiesForm.h"
#include "platform/shellns/propertysheetservice.h"

#include <vector>

namespace ax {

class TPropertiesFormService final : public IPropertySheetService {
public:
    explicit TPropertiesFormService(TComponent* owner) : owner_(owner) {}
    // Shows the window and answers true; false for no items.
    bool ShowProperties(const std::vector<std::string>& absolutePidls) override;
    // The properties windows open now, oldest first.
    std::vector<TPropertiesForm*> Forms() const;

private:
    TComponent* owner_;
};

} // namespace ax
