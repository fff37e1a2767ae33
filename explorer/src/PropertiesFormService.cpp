// Opening properties windows for the shell's "properties" verb.
#include "explorer/PropertiesFormService.h"

namespace ax {

bool TPropertiesFormService::ShowProperties(const std::vector<std::string>& absolutePidls) {
    if (absolutePidls.empty()) return false;
    auto* form = TComponent::Create<TPropertiesForm>(owner_);
    form->SetItems(absolutePidls);
    form->Show();
    return true;
}

std::vector<TPropertiesForm*> TPropertiesFormService::Forms() const {
    std::vector<TPropertiesForm*> out;
    for (int i = 0; i < owner_->ComponentCount(); ++i)
        if (auto* form = dynamic_cast<TPropertiesForm*>(owner_->Components(i)))
            if (!(form->ComponentState() & csDestroying)) out.push_back(form);
    return out;
}

} // namespace ax
