#pragma once
// The property-sheet service: the display shows the properties of items
// through it; headless it shows nothing.
#include <string>
#include <vector>

namespace ax {

// The property sheet of items, shown by the display; headless it does
// nothing and answers false.
class IPropertySheetService {
public:
    virtual ~IPropertySheetService() = default;
    virtual bool ShowProperties(const std::vector<std::string>& absolutePidls) = 0;
};
void SetPropertySheetService(IPropertySheetService* service);
IPropertySheetService& PropertySheetService();

} // namespace ax
