#pragma once
// What the fuzz targets share: one start per process (an offscreen application,
// the host's classes, a registry of its own kept in memory, message boxes that
// answer at once), the input as a file or as an XML element, and the plug-in as
// the host loads it with the shipped template.
//
// Each target defines LLVMFuzzerTestOneInput; LLVMFuzzerInitialize is defined in
// FuzzSupport.cpp. Built with -DKELTO_FUZZ=ON the targets are libFuzzer programs;
// otherwise ReplayMain.cpp runs them once over their corpus as a plain test.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::fuzz {

// The input as text, as the readers take a file's bytes.
QString text(const std::uint8_t* data, std::size_t size);

// Writes the input to this process's one input file and gives its name.
QString inputFile(const std::uint8_t* data, std::size_t size);

// The first line of the input (a selector such as a test id or a class name) and
// the rest, parsed as XML; null when the rest is not XML the host reads.
struct SelectedElement {
    QString selector;
    Ptr<IXmlDocument> document;
    Ptr<IXmlElement> element;

    // The selector as a test id, when it is one and the rest was XML.
    std::optional<std::int32_t> testId() const
    {
        bool numeric = false;
        const std::int32_t id = selector.toInt(&numeric);
        return numeric && element ? std::optional<std::int32_t>(id) : std::nullopt;
    }
};
SelectedElement selectedElement(const std::uint8_t* data, std::size_t size);

// The plug-in with the shipped template, loaded once.
IPlugIn& plugIn();

// A plug-in of its own, made once as the host makes it, whose template is this
// process's input file (inputFile): each Initialize reads the template afresh and
// replaces the test list, so nothing of one input is left for the next.
IPlugIn& plugInOfInputFile();

// A fresh element of the selected test, as the host makes one; null when the
// selector is no test id, the rest was not XML or the plug-in has no such test.
Ptr<ITestElement> freshElement(const SelectedElement& input);

// Saves an element into a fresh document and prints its report, as the host does
// after a load: what a load let in must not break either.
void saveAndPrint(const Ptr<ITestElement>& element);

// Forgets what the host logged for the last input, so that a long run does not grow.
void forgetLog();

} // namespace kelto::fuzz
