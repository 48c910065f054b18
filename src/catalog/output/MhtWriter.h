#pragma once
// TMhtWriter writes the single-file web page: a multipart/related MIME message
// whose first part is the page and whose further parts are its pictures, each
// in base64, located so that the page's relative references resolve inside the
// message.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class TMhtWriter {
public:
    static const QString Boundary;     // the boundary parameter
    static const QString BaseUrl;      // location of the page part; pictures below it

    QString PageId;                    // the subject
    // When set, a part is located by its path below this folder (sub-folders
    // kept: "manual.files/pic.gif"); otherwise by its file name.
    QString FilesRoot;
    // When given (one per entry of Files, in order), the name by which each
    // part is located instead of its file name: the part is read from the file
    // where it is and located as the page refers to it.
    QStringList Names;
    // Asked between parts and chunks: true ends the writing (EAbort), and no
    // message is left behind.
    std::function<bool()> Cancelled;
    bool Chinese = true;               // charset of the page part
    // Where the message goes when MhtPath is empty, in place of HtmlPath +
    // ".mht" (a page written elsewhere for the message).
    QString MessagePath;
    // Progress per picture: the caption and the bar position (50..100).
    std::function<void(const QString &Caption, int Position)> OnProgress;

    // Writes HtmlPath and Files as one message. MhtPath empty: the message goes to
    // HtmlPath + ".mht", ResultPath becomes that path and one blank, pictures are
    // located under BaseUrl + "images/". Otherwise it goes to MhtPath, ResultPath
    // becomes MhtPath and pictures are located directly under BaseUrl. Entries
    // that are not files are skipped; a file that cannot be read raises EFOpenError
    // and no message is written. Each part is encoded straight from its file
    // into the message (written once beside the target, synced and renamed
    // when whole), so memory does not grow with the pictures.
    void Write(const QString &HtmlPath, const QStringList &Files, QString &ResultPath, const QString &MhtPath);

    // Base64 of the text's bytes in the page code page, on one line.
    static QString EncodeBase64Text(const QString &S);
    // The Subject header for Text: encoded words of at most 75 characters, one
    // per line (the later ones folded with a tab), each holding whole
    // characters. A word whose characters are all GB2312's is labelled
    // gb2312; one holding any other character (traditional and rarer ones of
    // code page 936, or one the code page lacks) is labelled gb18030, whose
    // bytes Encode writes for it.
    static QString SubjectHeader(const QString &Text);
    // Base64 in lines of 76 characters separated by CR LF.
    static QString EncodeBase64Lines(const QByteArray &Bytes);
    // The Content-Type of a part named Name whose file starts with Head: by
    // the extension, else by the first bytes; application/octet-stream for
    // a kind not known.
    static QString ContentType(const QString &Name, const QByteArray &Head);
    // A relative path as the address part of a location: UTF-8, with every
    // byte that a browser's address would escape written as %XX, so that the
    // page's references (in any code page) resolve to the same address.
    static QString EncodeLocation(const QString &RelativePath);
};
