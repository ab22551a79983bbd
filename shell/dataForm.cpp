#include "shell/dataForm.h"

TDataModule1* DataModule1 = nullptr;

TDataModule1::TDataModule1(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("DataModule1"));
}

TDataModule1::~TDataModule1()
{
    mydata.close();
    zjTable.close();
    if (DataModule1 == this)
        DataModule1 = nullptr;
}

QString TDataModule1::connectionStringFor(const QString& programDir)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + programDir +
           QStringLiteral("assistant.mdb") + QStringLiteral(";Persist Security Info=False");
}
