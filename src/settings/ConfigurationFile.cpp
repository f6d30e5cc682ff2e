#include "settings/ConfigurationFile.h"

#include "settings/FileNames.h"

#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <optional>

namespace mirota {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

LoadedConfiguration Fail(std::string message) {
    LoadedConfiguration result;
    result.Status = LoadedConfiguration::Result::Failed;
    result.Error = std::move(message);
    return result;
}

// A configuration nests three deep (conf, group, value), and a value's text may carry one level of
// markup (its text is taken); deeper documents are refused before the DOM is built, so that a file
// nested a hundred thousand deep costs no more than reading it once.
constexpr int kMaxDepth = 4;
// Far more elements than the largest catalogue has settings and groups; the DOM of a 16 MB file of
// tiny elements would otherwise take seconds and a gigabyte.
constexpr long kMaxElements = 500000;

std::string LimitText() {
    return std::to_string(kMaxConfigurationFileSize / (1024 * 1024)) + " MB";
}

// Refuses what the DOM must never see: document type declarations (and with them every entity
// definition), entity references, elements nested deeper than a configuration has, and anything not
// well-formed.
std::optional<std::string> CheckDocument(const QByteArray& bytes) {
    QXmlStreamReader reader(bytes);
    int depth = 0;
    long elements = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++elements > kMaxElements)
                return "The configuration file holds more than " + std::to_string(kMaxElements) +
                       " elements, far more than any configuration.";
            if (++depth > kMaxDepth)
                return "The configuration file nests elements deeper than " + std::to_string(kMaxDepth) +
                       " levels (line " + std::to_string(reader.lineNumber()) +
                       "), which a configuration never does.";
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::DTD:
            return std::string(
                "The configuration file contains a document type declaration, which is not allowed.");
        case QXmlStreamReader::EntityReference:
            return std::string("The configuration file uses entities, which are not allowed.");
        default:
            break;
        }
    }
    if (reader.hasError())
        return "The configuration file is not well-formed XML: " + S(reader.errorString()) + " (line " +
               std::to_string(reader.lineNumber()) + ", column " + std::to_string(reader.columnNumber()) +
               ").";
    return std::nullopt;
}

} // namespace

std::string BuildConfigurationDocument(const ConfigurationSnapshot& snapshot) {
    QDomDocument document;
    document.appendChild(document.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"utf-8\""));
    QDomElement conf = document.createElement("conf");
    conf.setAttribute("vtype", Q(snapshot.VType));
    document.appendChild(conf);

    QDomElement group = document.createElement("G0");
    int groupNumber = 0;
    conf.appendChild(group);
    for (std::size_t i = 0; i < snapshot.RowValues.size(); ++i) {
        const int rowGroup = i < snapshot.RowGroups.size() ? snapshot.RowGroups[i] : groupNumber;
        if (rowGroup != groupNumber) {
            groupNumber = rowGroup;
            group = document.createElement("G" + QString::number(groupNumber));
            conf.appendChild(group);
        }
        QDomElement value = document.createElement("V" + QString::number(static_cast<qulonglong>(i)));
        value.appendChild(document.createTextNode(Q(snapshot.RowValues[i])));
        group.appendChild(value);
    }
    QDomElement hidden = document.createElement("H");
    conf.appendChild(hidden);
    for (std::size_t j = 0; j < snapshot.HiddenValues.size(); ++j) {
        QDomElement value = document.createElement("V" + QString::number(static_cast<qulonglong>(j)));
        value.appendChild(document.createTextNode(Q(snapshot.HiddenValues[j])));
        hidden.appendChild(value);
    }
    return document.toByteArray(2).toStdString();
}

std::string ConfigurationFileName(const std::string& fileName) {
    return WithExtension(fileName, ".xml");
}

bool WriteConfigurationFile(const std::string& fileName, const ConfigurationSnapshot& snapshot,
                            std::string& error) {
    const std::string text = BuildConfigurationDocument(snapshot);
    QSaveFile file(Q(fileName));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !file.commit()) {
        error = "The configuration file " + fileName + " could not be written: " + S(file.errorString());
        return false;
    }
    return true;
}

LoadedConfiguration ParseConfigurationDocument(const std::string& text) {
    if (text.size() > kMaxConfigurationFileSize)
        return Fail("The configuration file is too large (more than " + LimitText() + ").");
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    if (auto problem = CheckDocument(bytes)) return Fail(*problem);

    QDomDocument document;
    QString message;
    int line = 0, column = 0;
    if (!document.setContent(bytes, false, &message, &line, &column))
        return Fail("The configuration file is not well-formed XML: " + S(message) + " (line " +
                    std::to_string(line) + ", column " + std::to_string(column) + ").");

    LoadedConfiguration result;
    const QDomElement conf = document.documentElement();
    if (conf.isNull() || !conf.hasAttribute("vtype")) {
        result.Status = LoadedConfiguration::Result::NoType;
        return result;
    }
    result.Status = LoadedConfiguration::Result::Loaded;
    result.VType = S(conf.attribute("vtype"));
    for (QDomElement child = conf.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
        std::vector<std::string>& target = child.tagName() == "H" ? result.HiddenValues : result.RowValues;
        for (QDomElement value = child.firstChildElement(); !value.isNull();
             value = value.nextSiblingElement())
            target.push_back(S(value.text()));
    }
    return result;
}

LoadedConfiguration ReadConfigurationFile(const std::string& fileName) {
    QFile file(Q(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return Fail("The configuration file " + fileName + " could not be read: " + S(file.errorString()));
    const std::string tooLarge =
        "The configuration file " + fileName + " is larger than " + LimitText() + " and was not read.";
    if (static_cast<std::uint64_t>(file.size()) > kMaxConfigurationFileSize) return Fail(tooLarge);
    // Read at most one byte past the limit, whatever size the file claims.
    const QByteArray bytes = file.read(static_cast<qint64>(kMaxConfigurationFileSize) + 1);
    if (static_cast<std::uint64_t>(bytes.size()) > kMaxConfigurationFileSize) return Fail(tooLarge);
    LoadedConfiguration result =
        ParseConfigurationDocument(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (result.Status == LoadedConfiguration::Result::Failed) result.Error = fileName + ": " + result.Error;
    return result;
}

} // namespace mirota
