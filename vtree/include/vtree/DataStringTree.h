#pragma once
// The string tree: a data tree whose cells show text the owner supplies
// (DoGetText) and takes back from the in-place editor (DoNewText).
#include <memory>

#include "vtree/BaseDataTree.h"

namespace ax {

class TCustomDataStringTree;

using TDTGetTextEvent = std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column,
                                           TDTStringType TextType, WideString& CellText)>;
using TDTNewTextEvent =
    std::function<void(TBaseDataTree* Sender, PDataNode Node, TColumnIndex Column, const WideString& NewText)>;
using TDTPaintTextEvent = std::function<void(TBaseDataTree* Sender, TCanvas& TargetCanvas, PDataNode Node,
                                             TColumnIndex Column, TDTStringType TextType)>;

class TCustomDataStringTree : public TBaseDataTree {
public:
    explicit TCustomDataStringTree(TComponent* owner);
    ~TCustomDataStringTree() override;
    AnsiString ClassName() const override { return "TCustomDataStringTree"; }
    void DefinePublished(TFiler& filer) override;
    void Assign(const TPersistent* source) override;

    using TControl::SetText;
    using TControl::Text;
    // A cell's text as the owner gives it (DefaultText when it gives none).
    WideString Text(PDataNode node, TColumnIndex column);
    // Hands new text for a cell to the owner (DoNewText).
    void SetText(PDataNode node, TColumnIndex column, const WideString& text);
    const WideString& DefaultText() const { return defaultText_; }
    void SetDefaultText(const WideString& text);

    WideString GetEditText(PDataNode node, TColumnIndex column) override;
    void SetEditText(PDataNode node, TColumnIndex column, const WideString& text) override;

    TDTGetTextEvent OnGetText;
    TDTNewTextEvent OnNewText;
    TDTPaintTextEvent OnPaintText;

protected:
    virtual void DoGetText(PDataNode node, TColumnIndex column, TDTStringType textType, WideString& text);
    virtual void DoNewText(PDataNode node, TColumnIndex column, const WideString& text);
    // Lets the owner change the canvas's font and colours for a cell.
    virtual void DoPaintText(PDataNode node, TCanvas& canvas, TColumnIndex column, TDTStringType textType);

    int DoGetNodeWidth(PDataNode node, TColumnIndex column) override;
    void DoPaintNode(TCanvas& canvas, PDataNode node, TColumnIndex column, const RECT& r) override;
    WideString DoGetTooltipText(PDataNode node, TColumnIndex column) override;

private:
    TCanvas& MeasureCanvas();
    std::unique_ptr<TBitmap> measure_;
    WideString defaultText_ = u"Node";
};

class TDataStringTree : public TCustomDataStringTree {
public:
    using TCustomDataStringTree::TCustomDataStringTree;
    AnsiString ClassName() const override { return "TDataStringTree"; }
};

// Makes TDataStringTree known to form descriptions.
void RegisterDataTreeClasses();

} // namespace ax
