// What a host's creation text asks for.
#pragma once

enum class CreationKind {
    HtmlDocument, // "MSHTML:" (any case) and the HTML after it
    Url,          // any other text with a ':'
    ClassName,    // a CLSID in braces or a ProgID
};

CreationKind ClassifyCreationText(const wchar_t* text);

// The HTML of an HtmlDocument text (what follows "MSHTML:").
const wchar_t* CreationTextHtml(const wchar_t* text);
