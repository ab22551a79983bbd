#include "shell/data/dataForm.h"

#include "platform/AppError.h"
#include "shell/data/Schema.h"

TDataModule1* DataModule1 = nullptr;

TDataModule1::TDataModule1(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("DataModule1"));
    ADOConnection1.setSchema(Schema::schema());
}

TDataModule1::~TDataModule1()
{
    mydata.close();
    zjTable.close();
    if (DataModule1 == this)
        DataModule1 = nullptr;
}

QString TDataModule1::connectionStringFor(const QString& dataDir)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + dataDir +
           QStringLiteral("assistant.mdb") + QStringLiteral(";Persist Security Info=False");
}

DbQuery& WindowQuery::get()
{
    if (!DataModule1)
        throw AppError(QStringLiteral("The data module does not exist"));
    if (!m_query || m_connection != &DataModule1->ADOConnection1) {
        m_query.reset();
        m_connection = &DataModule1->ADOConnection1;
        m_query = std::make_unique<DbQuery>(DataModule1->ADOConnection1);
    }
    return *m_query;
}
